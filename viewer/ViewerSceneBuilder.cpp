#include "viewer/ViewerSceneBuilder.h"

namespace zor::viewer {

ViewerScene SceneOf(const ViewerCommands& viewer, int phase) {
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
    }
    const VolumeOfInterest& frame = model.VolumeOfInterestFrame();
    scene.volumeOfInterestStep = phase == kVolumeSelectionPhase && scene.panoramic != nullptr;
    if (scene.volumeOfInterestStep && frame.HasFrame()) {
        scene.frame.shown = true;
        scene.frame.corners = frame.Corners();
        scene.frame.handleMask = frame.HandleMask();
    }
    return scene;
}

}  // namespace zor::viewer
