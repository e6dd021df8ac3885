#pragma once
// A recorder of every interface through which the logic reaches the operator: it keeps the state
// a person would see (status line, timers, windows, button column, title) and the order of calls.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserInterfaces.h"

namespace zor::test {

class UiRecorder : public IStatusSink,
                   public ITimers,
                   public IStepWindow,
                   public IInfoWindow,
                   public IProgressWindow,
                   public IMainWindow {
public:
    void LogMessage(const std::string& text, bool, int level, bool) override {
        Status = text;
        StatusLevel = level;
        if (!text.empty())
            Log.push_back(text);
    }
    void ShowStatusText(const std::string& text) override { Status = text; }
    void SetTimer(TimerId id, int periodMs) override { Timers[id] = periodMs; }
    void KillTimer(TimerId id) override { Timers.erase(id); }
    bool TimerRuns(TimerId id) const { return Timers.count(id) != 0; }

    void ShowStep(const StepContent& content) override {
        InfoShown = false;
        Step = content;
    }
    void HideStep() override { Step.reset(); }
    void ShowStepWindowAndWait(const std::string& title, const std::string& firstLine,
                               int) override {
        StepContent content;
        content.Title = title;
        content.Lines[0] = firstLine;
        ShowStep(content);
    }
    void ShowInfo(const std::string& text) override {
        InfoShown = true;
        Info = text;
    }
    void HideInfo() override { InfoShown = false; }
    void ShowProgress() override { ProgressShown = true; }
    void HideProgress() override { ProgressShown = false; }

    void ShowButtonsForPhase(int phase, bool lastPanoramic, bool) override {
        ColumnPhase = phase;
        ColumnRefreshes++;
        LastPanoramicButton = phase == 1 && lastPanoramic;
    }
    void SetButtonVisible(CommandId button, bool visible) override {
        if (button == CommandId::LoadLastPanoramic)
            LastPanoramicButton = visible;
    }
    void MarkToolButton(std::optional<CommandId> button) override { MarkedTool = button; }
    void SetButtonBitmap(CommandId button, int bitmap) override { Bitmaps[button] = bitmap; }
    void SetCursor(CursorId cursor) override { Cursor = cursor; }
    void SetWaitCursor(bool busy) override { WaitCursor = busy; }
    void SetTitle(const std::string& title) override { Title = title; }
    void Invalidate() override {}
    void Close() override { Closed = true; }

    std::string Status;
    int StatusLevel = 3;
    std::vector<std::string> Log;  ///< non-empty status texts, in order
    std::map<TimerId, int> Timers;
    std::optional<StepContent> Step;  ///< the step window's content while it is shown
    bool InfoShown = false;
    std::string Info;
    bool ProgressShown = false;
    int ColumnPhase = 0;  ///< phase of the last button column shown
    int ColumnRefreshes = 0;
    bool LastPanoramicButton = false;
    std::optional<CommandId> MarkedTool;
    std::map<CommandId, int> Bitmaps;
    CursorId Cursor = CursorId::Arrow;
    bool WaitCursor = false;
    std::string Title;
    bool Closed = false;
};

}  // namespace zor::test
