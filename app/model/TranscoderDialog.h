// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ProjectVersion.h"
#include "app/OutputEngines.h"
#include "app/model/ControlIds.h"
#include "app/model/Controls.h"
#include "app/model/IntegerField.h"
#include "app/model/LoudnessControls.h"
#include "app/model/UserInterface.h"
#include "dsp/ChannelConfiguration.h"
#include "dsp/ChannelSettings.h"
#include "dsp/DrpCurve.h"
#include "dsp/Resampler.h"
#include "host/JobSettings.h"
#include "platform/WavChannelOrder.h"

namespace tavrisk {

class GraphSession;

// What the main window's controls show: texts, selections, states and positions.
struct ControlStates {
    ButtonControl transcodeButton;
    EditControl inputName, outputName;
    ComboControl outputEngine, freq, bitrate, processingType, inputFrequency, resyncDirection;
    std::array<EditControl, 4> resyncEdits;  // H, M, S, ms
    std::array<ComboControl, ChannelSettings::kColumns> routingCombos;
    std::array<SliderControl, ChannelSettings::kColumns> gainSliders;
    std::array<EditControl, ChannelSettings::kColumns> gainTexts, peakTexts;
    CheckControl normalize, drp, highQuality;
    ComboControl normalizeLink, drpLink, priority;
    ProgressControl progress;
    EditControl elapsedText, remainingText, percentText, statusText;
    std::vector<std::string> batchList;
    // "Audio track": the input's audio streams as the graph found them.
    ComboControl audioTrack;
};

// The main window as a settings model: every option is a control with its items and
// default, the handlers keep the settings consistent and tell the front end what changed
// (UserInterface), and the readers give a job, its source and the channel processing what
// they need. Views read the controls (Controls()) and change them only through the handlers.
class TranscoderDialog {
  public:
    static constexpr const char* kTitle = "Tavrisk Transcoder v" TAVRISK_VERSION;
    static constexpr const char* kAppName = "Tavrisk";
    static constexpr const char* kGraphStatus = "Expected: 6 ch 16 bits PCM (L,C,R,LS,RS,LFE)";
    static constexpr const char* kDvdRateNote = "44100 Hz is not allowed on DVD-Video";
    static constexpr int kColumns = ChannelSettings::kColumns;

    enum FreqItem { kFreq44100 = 0, kFreq48000 = 1 };
    enum ResyncItem { kResyncInsert = 0, kResyncSkip = 1 };
    enum ProcessingItem { kProcessingGraph = 0, kProcessingNative = 1 };

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

    explicit TranscoderDialog(UserInterface& ui);
    TranscoderDialog(const TranscoderDialog&) = delete;
    TranscoderDialog& operator=(const TranscoderDialog&) = delete;

    UserInterface& Ui() { return ui; }
    // What the controls show.
    const ControlStates& Controls() const { return controls; }

    // Every control to its default.
    void OnInitDialog();
    // "Restore defaults": every control, switch and curve as at the first start.
    void RestoreDefaults();

    // --- Handlers of user events -------------------------------------------------------
    void SelectRouting(int column, int item);  // then FixRouting(column)
    void FixRouting(int column);
    // Slider notification; ignored unless it carries a thumb position (0..100; 0 mutes).
    void OnSliderScroll(int column, int position, bool carriesThumbPosition = true);
    void SelectOutputFrequency(int item);  // control 1013
    void SelectInputFrequency(int item);   // control 1057
    void SelectProcessingType(int item);
    void SelectOutputEngine(int item);  // then output naming
    void SelectNormalizeLink(int item);
    void SelectDrpLink(int item);
    void SelectResyncDirection(int item);
    void SelectBitrate(int item);   // control 1021
    void SelectPriority(int item);  // control 1028; the job applies it (ApplyPriority)
    // A priority that could not be set: the combo shows the one in force.
    void ShowPriorityInForce(ProcessPriority priority);
    // Text typed into one of the resync edits (1018, 1019, 1020, 1014); read by UpdateData.
    void SetResyncText(int controlId, const std::string& text);
    // The batch list confirmed in the batch dialog (which shows the list it replaces).
    void SetBatch(const std::vector<std::string>& files);
    void SetNormalize(bool on);
    // The normalise row's loudness controls: kind ("Peak", "Loudness"), target preset, the
    // target in LUFS and the true-peak ceiling in dBTP (both kept in their ranges).
    void SelectNormalizeKind(int item);
    void SelectLoudnessPreset(int item);
    void SetLoudnessTarget(double lufs);
    void SetTruePeakCeiling(double dbtp);
    // All of them at once (from the settings file).
    void SetLoudnessNormalization(const LoudnessNormalization& values);
    // The job only measures its input: nothing is written (the command line's `measure`).
    void SetMeasureOnly(bool on) { measureOnly = on; }
    // Jobs measure their loudness (on unless the command line's --no-loudness).
    void SetMeasureLoudness(bool on) { measureLoudness = on; }
    // Threads the MP2 engine encodes on (the command line's --threads), kept in 1 to
    // kMaxEncoderThreads; by default the cores the process may use.
    static constexpr int kMaxEncoderThreads = 64;
    void SetEncoderThreads(int threads);
    void SetDrp(bool on);
    // "High quality": the rate conversion by libsoxr rather than linear interpolation.
    void SetHighQuality(bool on);
    void SetInputName(const std::string& name);
    void SetOutputName(const std::string& name);
    // An input picked in the file dialog (or dropped): names both edits, then output naming;
    // the input frequency follows the file's own rate where the probe can read it.
    void OnInputChosen(const std::string& name);
    void SetInputRateProbe(InputRateProbe probe) { inputRateProbe = std::move(probe); }
    // The typed input name confirmed (Enter, or leaving the field): as chosen in the dialog,
    // unless it is the name chosen last or empty.
    void OnInputTyped();
    // "Audio track": the input's track `item` (from 0) is read, the graph rendered again
    // with it; until one is picked, and for each new input, the rule of ChooseAudioStream.
    void SelectAudioTrack(int item);
    // An output picked in the file dialog: then output naming.
    void OnOutputChosen(const std::string& name);
    // The folders of the input and the output chosen last, where the file dialogs open when
    // their field is empty.
    const std::string& LastInputFolder() const { return lastInputFolder; }
    const std::string& LastOutputFolder() const { return lastOutputFolder; }
    void SetLastFolders(const std::string& input, const std::string& output);
    void ApplyOutputNaming();
    // The curve dialog of a column closed with OK: its points and release time become the
    // column's, then the DRP-linked columns get the points.
    void AcceptCurve(int column, DrpCurve& edited);
    // Points of a column's curve in dB (a curve file), copied to the DRP-linked columns too.
    void SetCurvePoints(int column, const std::vector<float>& inputDb,
                        const std::vector<float>& outputDb);
    // The release time of one column's curve.
    void SetReleaseTime(int column, int ms);
    // The layout of six-channel WAV output, from the settings file or the command line.
    void SetWavOrder(WavChannelOrder order) { wavOrder = order; }
    // The channels of the MP2 stream, from the command line; 3/2 with LFE by default.
    void SetStreamChannels(const ChannelConfiguration& channels) { streamChannels = channels; }

    // Reads and validates the resync edits (H, M, S, ms). False at the first invalid field,
    // after a message that names it, with the focus on it; the values then stay as they were.
    bool UpdateData();

    // --- Job display (on the front end's thread) -------------------------------------------
    // Progress, times and bar from a percentage and the seconds since the job started.
    void ShowProgress(float percent, float elapsedSeconds);
    void SetStatusText(const std::string& text);
    // A percentage as the window shows it: "65.95 %".
    static std::string PercentText(float percent);
    // The line that sums up the job that ended (its loudness), in the status line.
    void ShowJobSummary(const std::string& line);
    // The job's result line ("Done: ..."), followed by its summary whichever comes first.
    void ShowJobResult(const std::string& result);
    static constexpr const char* kSummarySeparator = ". ";
    // The status line holds the summary of the last job rather than the input's format.
    bool StatusIsJobSummary() const { return statusIsJobSummary; }
    void ShowPeakLevels(const std::array<float, kColumns>& levelsDb);
    void EnableTranscode(bool enabled);

    // --- Readers -------------------------------------------------------------------------
    // Everything a job is told, read from the controls once when it starts.
    JobSettings JobSettingsForJob();
    // The bitrate in kbit/s; -1 without a selection.
    int GetBitrate() const;
    // The bitrate combo's item of `kbps`; -1 for a bitrate it does not offer.
    static int BitrateItemOf(int kbps);
    // Why the multichannel stream cannot take `kbps` ("" when it can).
    static std::string BitrateRefusal(int kbps);
    // The priority of the "Priority" combo; nothing without a selection.
    std::optional<ProcessPriority> SelectedPriority() const;
    int GetOutputRate() const;
    int GetInputRate() const;
    bool ResamplingNeeded() const;
    ResamplerKind GetResamplerKind() const;
    int32_t GetResyncMs() const;
    WavChannelOrder GetWavOrder() const { return wavOrder; }
    // The engine of the "Output Engine" combo; null without one.
    const OutputEngineKind* SelectedEngine() const;
    // "GStreamer Processing": the input is read through the filter graph.
    bool GraphProcessing() const { return graphProcessing; }
    bool IsNormalizeOn() const { return controls.normalize.checked; }
    const LoudnessControlStates& LoudnessControls() const { return loudness; }
    const LoudnessNormalization& GetLoudnessNormalization() const { return loudness.values; }
    bool IsDrpOn() const { return controls.drp.checked; }
    int NormalizeLinkMode() const { return controls.normalizeLink.selected; }
    int DrpLinkMode() const { return controls.drpLink.selected; }
    int SliderPosition(int column) const { return controls.gainSliders[column].position; }
    const std::array<int, kColumns>& Routing() const { return routing; }
    const DrpCurve& Curve(int column) const { return curves[column]; }
    // Safe from any thread: the copy published by the last change of these controls.
    ChannelControls CurrentChannelControls() const;
    // Columns linked with `column` by a link combo item (including itself).
    static std::vector<int> LinkedColumns(int linkItem, int column);

    // --- Graph side ----------------------------------------------------------------------
    // The window's pipeline, catalogue and editor (null where graph processing is absent).
    void AttachGraph(GraphSession* session) { graph = session; }
    GraphSession* Graph() const { return graph; }
    // In graph mode: renders the file and puts the wrapper in place of its renderer; in
    // native mode: empties the editor. False after a message.
    bool RenderInputFile(const std::string& name);
    // The file the graph was last rendered from ("" when none).
    const std::string& RenderedInput() const { return renderedInput; }
    // The rate of the audio track the rendered graph reads (any rate); nothing when none.
    std::optional<int> RenderedStreamRate() const;
    // Saves the settings of every element whose settings changed.
    void SaveAllFilterSettings();

  private:
    void Changed(int controlId) { ui.ControlChanged(controlId); }
    void TakeInputRateFromFile();
    // The "Audio track" combo from the tracks the last render found (none when it failed).
    void ShowAudioTracks(bool rendered);
    // Copies the curve of `column` to the DRP-linked columns.
    void CopyCurveToLinked(int column);
    // Copies the controls a running job reads into the copy it reads them from; each
    // handler calls it once, after its last change, so a job never sees half of one.
    void PublishChannelControls();
    void SetSlider(int column, int position, const std::string& text);
    // The MP2 engine at 44100 Hz: the status line says the file will not do for a DVD.
    void NoteDvdRate();
    static std::string FormatClock(float seconds);

    UserInterface& ui;
    ControlStates controls;
    LoudnessControlStates loudness;
    bool statusIsJobSummary = false;
    // The status line holds a job's result, its summary still to come.
    bool resultAwaitsSummary = false;
    bool measureOnly = false;
    bool measureLoudness = true;
    int encoderThreads;
    InputRateProbe inputRateProbe;
    bool graphProcessing = true;
    WavChannelOrder wavOrder = WavChannelOrder::kStandard;
    ChannelConfiguration streamChannels;
    std::array<int, kColumns> routing{};
    std::array<DrpCurve, kColumns> curves;
    // Values exchanged with the resync edits.
    int resyncH = 0, resyncM = 0, resyncS = 0, resyncMsValue = 0;
    mutable std::mutex publishedMutex;
    ChannelControls publishedControls;
    GraphSession* graph = nullptr;
    std::string renderedInput;
    // The input name last chosen (dialog, drop or a confirmed typed name).
    std::string chosenInput;
    std::string lastInputFolder, lastOutputFolder;
    std::optional<std::size_t> wantedTrack;
};

}  // namespace tavrisk
