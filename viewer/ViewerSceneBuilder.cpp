#include "viewer/ViewerSceneBuilder.h"

namespace zor::viewer {

namespace {

void AddVolumeOverlays(const CrossView& crosses, ViewerScene& scene) {
    scene.centre = crosses.Centre();
    scene.rangeValue = crosses.RangeValue();
    const auto& selection = crosses.Selection();
    scene.selectedPositions.assign(selection.begin(), selection.end());
    // Without a column on the panoramic the range lines stay left of the image, out of sight.
    const Rect& image = scene.panoramicGeometry.image;
    const auto allowed = crosses.AllowedRangeX();
    scene.allowedFirstX = allowed ? (*allowed)[0] : image.left - 1;
    scene.allowedLastX = allowed ? (*allowed)[1] : image.left - 1;
    if (const auto span = crosses.CrossSpan()) {
        scene.spanLeftX = span->leftX;
        scene.spanRightX = span->rightX;
    }
    if (const auto marker = crosses.Marker()) {
        scene.markerShown = true;
        scene.marker = *marker;
    }
}

}  // namespace

ViewerScene SceneOf(const ViewerCommands& viewer, int phase, const CrossView* crossView) {
    const ViewerStateModel& model = viewer.Model();
    ViewerScene scene;
    scene.layout = model.Layout();
    scene.panoramicEnlarged = model.PanoramicEnlarged();
    scene.crossesOverPanoramic = model.CrossesOverPanoramic();
    scene.crossCount = model.CrossCount();
    scene.crossRows = model.CrossGroupSize();
    scene.volumeShown = phase == kVolumeNavigationPhase;

    const CrossImages& crosses = viewer.Crosses();
    scene.crossesVisible = crosses.Visible();
    for (int i = 0; i < crosses.Count(); ++i)
        scene.crosses.push_back(crosses.Bitmap(i));

    const DisplayBitmap& panoramic = viewer.PanoramicBitmap();
    if (phase >= kVolumeSelectionPhase && !panoramic.Empty() &&
        !(scene.volumeShown && scene.crossesOverPanoramic)) {
        scene.panoramic = &panoramic;
        scene.panoramicGeometry = model.Panoramic();
        scene.curvePicture = &viewer.CurvePicture();
        scene.curveFrame = viewer.CurvePictureFrame();
    }
    const VolumeOfInterest& frame = model.VolumeOfInterestFrame();
    scene.volumeOfInterestStep = phase == kVolumeSelectionPhase && scene.panoramic != nullptr;
    if (scene.volumeOfInterestStep && frame.HasFrame()) {
        scene.frame.shown = true;
        scene.frame.corners = frame.Corners();
        scene.frame.handleMask = frame.HandleMask();
        if (const auto marker = viewer.SelectionMarker()) {
            scene.markerShown = true;
            scene.marker = *marker;
        }
    }
    if (scene.volumeShown && crossView != nullptr)
        AddVolumeOverlays(*crossView, scene);
    return scene;
}

}  // namespace zor::viewer
