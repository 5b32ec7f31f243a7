#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/Controls.h"
#include "app/IntegerField.h"
#include "app/RunningJob.h"
#include "app/UserInterface.h"
#include "dsp/ChannelSettings.h"
#include "dsp/DrpCurve.h"
#include "host/JobHost.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

class GraphSession;

// The main window as a settings model: every option is a control with its items and
// default, the handlers keep the settings consistent, and the readers give jobs, sources
// and the channel processing what they need: it is the job host of the jobs it starts. A
// front end shows it and forwards user events to the handlers; the model tells the front
// end what changed through UserInterface.
class TranscoderDialog : public JobHost {
  public:
    static constexpr const char* kTitle = "Tavrisk Transcoder v3.0.4";
    static constexpr const char* kAppName = "Tavrisk";
    static constexpr const char* kGraphStatus = "Expected: 6 ch 16 bits PCM (L,C,R,LS,RS,LFE)";
    static constexpr int kColumns = 6;

    enum EngineItem { kEngineMp2 = 0, kEnginePcmMono = 1, kEngineWav = 2, kEngineWavMono = 3 };
    enum FreqItem { kFreq44100 = 0, kFreq48000 = 1 };
    enum ResyncItem { kResyncInsert = 0, kResyncSkip = 1 };
    enum ProcessingItem { kProcessingGraph = 0, kProcessingNative = 1 };

    // Milliseconds since an arbitrary start, as the platform's tick count.
    using TickSource = std::function<uint32_t()>;
    // The sample rate of an input file, when it can be read from the file.
    using InputRateProbe = std::function<std::optional<int>(const std::string&)>;
    // Gain text of a slider at position 0.
    static constexpr const char* kMutedText = "muted";
    // The resync edits (H, M, S, ms) and what each accepts.
    static constexpr int kResyncFieldCount = 4;
    static constexpr int kResyncFieldIds[kResyncFieldCount] = {
        ctl::kResyncHours, ctl::kResyncMinutes, ctl::kResyncSeconds, ctl::kResyncMs};
    static constexpr IntegerField kResyncFields[kResyncFieldCount] = {
        {"Resync hours", 0, 24},
        {"Resync minutes", 0, 59},
        {"Resync seconds", 0, 59},
        {"Resync milliseconds", 0, 999}};

    explicit TranscoderDialog(UserInterface& ui, TickSource ticks = {});

    UserInterface& Ui() { return ui; }
    MessageAnswer MessageBox(std::string_view text, std::string_view title,
                             MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::Stop) override {
        return ui.ShowMessage(text, title, buttons, icon);
    }
    // Shows the warnings and keeps that the running job had some (jobWarnings).
    void ReportWarnings(std::string_view text, std::string_view title) override {
        jobWarnings = true;
        ui.ShowMessage(text, title, MessageButtons::Ok, MessageIcon::Exclamation);
    }
    ~TranscoderDialog() override;

    // Every control to its default.
    void OnInitDialog();

    // --- Handlers of user events -------------------------------------------------------
    void SelectRouting(int column, int item);  // then FixRouting(column)
    void FixRouting(int column);
    // Slider notification; ignored unless it carries a thumb position (0..100; 0 mutes).
    void OnSliderScroll(int column, int position, bool carriesThumbPosition = true);
    void SelectOutputFrequency(int item);  // control 1013, then frequency pairing
    void SelectInputFrequency(int item);   // control 1057, then frequency pairing
    void SelectProcessingType(int item);
    void SelectOutputEngine(int item);  // then output naming
    void SelectNormalizeLink(int item);
    void SelectDrpLink(int item);
    void SelectResyncDirection(int item);
    void SelectBitrate(int item);   // control 1021
    void SelectPriority(int item);  // control 1028; the job applies it (ApplyPriority)
    // Text typed into one of the resync edits (1018, 1019, 1020, 1014); read by UpdateData.
    void SetResyncText(int controlId, const std::string& text);
    // The batch list confirmed in the batch dialog (which shows the list it replaces).
    void SetBatch(const std::vector<std::string>& files) { batchList = files; }
    void SetNormalize(bool on);
    void SetDrp(bool on);
    // "High quality": the rate conversion by libsoxr rather than linear interpolation.
    void SetHighQuality(bool on);
    void SetInputName(const std::string& name);
    void SetOutputName(const std::string& name);
    // An input picked in the file dialog (or dropped): names both edits, then output naming;
    // the input frequency follows the file's own rate where the probe can read it.
    void OnInputChosen(const std::string& name);
    void SetInputRateProbe(InputRateProbe probe) { inputRateProbe = std::move(probe); }
    // An output picked in the file dialog: then output naming.
    void OnOutputChosen(const std::string& name);
    void ApplyOutputNaming();
    // The curve of a column was edited and accepted: copies it to the DRP-linked columns.
    void OnCurveEdited(int column);
    // The curve dialog of a column closed with OK: its points and release time become the
    // column's, then the DRP-linked columns get the points (OnCurveEdited).
    void AcceptCurve(int column, DrpCurve& edited);
    // "Exit" or the close box: true when the window may close. During a job, asks to stop.
    bool OnOK();

    // Reads and validates the resync edits (H, M, S, ms). False at the first invalid field,
    // after a message that names it, with the focus on it; the values then stay as they were.
    bool UpdateData();

    // --- Readers -------------------------------------------------------------------------
    int GetBitrate() const;
    int GetOutputRate() const override;
    int GetInputRate() const override;
    bool ResamplingNeeded() const override;
    ResamplerKind GetResamplerKind() const override;
    int32_t GetResyncMs() const override;
    bool IsNormalizeOn() const { return normalize.checked; }
    bool IsDrpOn() const { return drp.checked; }
    int NormalizeLinkMode() const { return normalizeLink.selected; }
    int DrpLinkMode() const { return drpLink.selected; }
    int SliderPosition(int column) const { return gainSliders[column].position; }
    const std::array<int, kColumns>& Routing() const { return routing; }
    DrpCurve& Curve(int column) { return curves[column]; }
    const DrpCurve& Curve(int column) const { return curves[column]; }
    ChannelJobSettings ChannelSettingsForJob() override;
    // Safe from any thread: the copy published by the last change of these controls.
    ChannelControls CurrentChannelControls() const override;
    void ShowPeakLevels(const std::array<float, kColumns>& levelsDb) override;

    // --- Job display ---------------------------------------------------------------------
    // Shows progress and times, pumps the front end's events; true when the job is asked
    // to stop.
    bool UpdateProgress(float percent, bool reset) override;
    void SetStatusText(const std::string& text) override;
    void EnableTranscode(bool enabled);
    // Takes the start time of a job (or batch) from the tick source.
    void MarkStart();
    uint32_t TickSeconds() const;
    // Columns linked with `column` by a link combo item (including itself).
    static std::vector<int> LinkedColumns(int linkItem, int column);

    // --- Controls (read by views, written through the handlers above) --------------------
    ButtonControl transcodeButton;
    EditControl inputName, outputName;
    ComboControl outputEngine, freq, bitrate, processingType, inputFrequency, resyncDirection;
    EditControl resyncHours, resyncMinutes, resyncSeconds, resyncMillis;
    std::array<ComboControl, kColumns> routingCombos;
    std::array<SliderControl, kColumns> gainSliders;
    std::array<EditControl, kColumns> gainTexts, peakTexts;
    CheckControl normalize, drp, highQuality;
    ComboControl normalizeLink, drpLink, priority;
    ProgressControl progress;
    EditControl elapsedText, remainingText, percentText, statusText;
    std::vector<std::string> batchList;

    // --- Graph side ----------------------------------------------------------------------
    // The window's pipeline, catalogue and editor (null where graph processing is absent).
    void AttachGraph(GraphSession* session) { graph = session; }
    GraphSession* Graph() const { return graph; }
    // In graph mode: renders the file and puts the wrapper in place of its renderer; in
    // native mode: empties the editor. False after a message.
    bool RenderInputFile(const std::string& name);
    // The file the graph was last rendered from ("" when none).
    const std::string& RenderedInput() const { return renderedInput; }
    // Saves the settings of every element whose settings changed.
    void SaveAllFilterSettings();

    // --- A job running on under its timer (a graph job) ------------------------------------
    void StartRunningJob(std::unique_ptr<RunningJob> job);
    bool HasRunningJob() const { return runningJob != nullptr; }
    // The job timer's tick: true while the job runs. When it has ended, "Transcode" is on
    // again and FinishedOutcome tells how it ended.
    bool OnTimer();
    JobOutcome FinishedOutcome() const { return finishedOutcome; }
    // Where the last job's outputs were kept (none when it wrote nothing); set at its end.
    std::vector<KeptOutput> jobOutputs;

    // --- Job state ---------------------------------------------------------------------
    // No job runs, or the running one was asked to stop (the host's stop request).
    bool JobStopped() const { return StopRequested(); }
    bool directShowMode = true;
    // The layout of six-channel WAV output, from the settings file or the command line.
    WavChannelOrder wavOrder = WavChannelOrder::kStandard;
    // The running job's source reported warnings (ReportWarnings): it completed with
    // warnings. Cleared by whoever starts a job.
    std::atomic<bool> jobWarnings{false};
    int32_t startSeconds = 0;

  private:
    void Changed(int controlId) { ui.ControlChanged(controlId); }
    void TakeInputRateFromFile();
    // Copies the controls a running job reads into the copy it reads them from; each
    // handler calls it once, after its last change, so a job never sees half of one.
    void PublishChannelControls();
    void SetSlider(int column, int position, const std::string& text);
    void PairFrequencies();
    static std::string FormatClock(float seconds);
    // Progress, times and bar from a percentage.
    void ShowProgress(float percent);

    UserInterface& ui;
    TickSource ticks;
    InputRateProbe inputRateProbe;
    std::array<int, kColumns> routing{};
    std::array<DrpCurve, kColumns> curves;
    // Values exchanged with the resync edits.
    int resyncH = 0, resyncM = 0, resyncS = 0, resyncMsValue = 0;
    mutable std::mutex publishedMutex;
    ChannelControls publishedControls;
    GraphSession* graph = nullptr;
    std::string renderedInput;
    std::unique_ptr<RunningJob> runningJob;
    JobOutcome finishedOutcome = JobOutcome::Done;
    // Progress reported from another thread, shown by one queued update at a time.
    std::atomic<float> postedPercent{0.0f};
    std::atomic<bool> progressPosted{false};
};

}  // namespace tavrisk
