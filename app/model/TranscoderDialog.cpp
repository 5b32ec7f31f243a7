// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/TranscoderDialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "app/model/GraphSession.h"
#include "platform/ClockUnits.h"
#include "platform/UsableCores.h"

namespace tavrisk {

namespace {

// The channels' curve grid: the main window's small views show it a step a pixel.
constexpr int kCurveViewWidth = 78;
constexpr int kCurveViewHeight = 62;
constexpr int kFullSlider = 100;
constexpr const char* kCurrentFolder = "./";

const std::vector<std::string> kFrequencyItems = {"44100 Hz", "48000 Hz"};
// The bitrate combo's items, in kbit/s; each reads "N Kbps".
constexpr int kBitratesKbps[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr const char* kBitrateUnit = " Kbps";
// Without a selection of the output rate, a job's output is at the default rate.
constexpr int kDefaultOutputRate = 48000;
const std::vector<std::string> kProcessingItems = {"GStreamer Processing", "Native Processing"};
const std::vector<std::string> kResyncItems = {"Insert", "Skip"};
const std::vector<std::string> kChannelItems = {"Front Left", "Front Right", "Center",
                                                "LFE",        "Rear Left",   "Rear Right"};
const std::vector<std::string> kLinkItems = {"(C) (L) (R) (LS) (RS) (LFE)",
                                             "(C) (L R) (LS RS) (LFE)", "(C) (L R LS RS) (LFE)",
                                             "(C L R LS RS) (LFE)"};
const std::vector<std::string> kPriorityItems = {"Normal", "Low (idle)", "High"};
constexpr ProcessPriority kPriorityOfItem[] = {ProcessPriority::kNormal, ProcessPriority::kIdle,
                                               ProcessPriority::kHigh};

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The folder of a file name, with its final "/" ("" for a bare name).
std::string FolderOf(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

}  // namespace

TranscoderDialog::TranscoderDialog(UserInterface& ui)
    : ui(ui), encoderThreads(std::min(UsableCores(), kMaxEncoderThreads)) {
    for (const OutputEngineKind& engine : OutputEngineKinds())
        controls.outputEngine.items.emplace_back(engine.label);
    controls.freq.items = kFrequencyItems;
    for (const int kbps : kBitratesKbps) {
        controls.bitrate.items.push_back(std::to_string(kbps) + kBitrateUnit);
        controls.bitrate.refusals.push_back(BitrateRefusal(kbps));
    }
    controls.processingType.items = kProcessingItems;
    controls.inputFrequency.items = kFrequencyItems;
    controls.resyncDirection.items = kResyncItems;
    for (auto& combo : controls.routingCombos) combo.items = kChannelItems;
    controls.normalizeLink.items = kLinkItems;
    controls.drpLink.items = kLinkItems;
    controls.priority.items = kPriorityItems;
    // Every channel starts with the straight line its view shows, on the command line too.
    for (auto& curve : curves) {
        curve.SetGridSize(kCurveViewWidth, kCurveViewHeight);
        curve.EnsureDefaultCurve();
    }
    OnInitDialog();
}

void TranscoderDialog::OnInitDialog() {
    SelectProcessingType(kProcessingGraph);
    ControlStates& c = controls;
    c.bitrate.selected = static_cast<int>(c.bitrate.items.size()) - 1;
    // The first engine is the default one.
    c.outputEngine.selected = 0;
    c.bitrate.enabled = OutputEngineKinds().front().bitrateApplies;
    c.progress.position = 0;
    c.freq.selected = kFreq48000;
    c.inputFrequency.selected = kFreq48000;
    c.resyncDirection.selected = kResyncSkip;
    // From a std::string: assigning the literal trips a false -Wrestrict in GCC 12 at -O3.
    for (EditControl& edit : c.resyncEdits) edit.text = std::string("0");
    resyncH = resyncM = resyncS = resyncMsValue = 0;
    for (int k = 0; k < kColumns; ++k) {
        c.routingCombos[k].selected = k;
        routing[k] = k;
    }
    c.priority.selected = 0;
    c.highQuality.checked = true;
    c.normalizeLink.selected = ChannelSettings::kNoSelection;
    for (int k = 0; k < kColumns; ++k) OnSliderScroll(k, kFullSlider);
    for (auto& curve : curves) curve.SetEditable(false);
    c.normalizeLink.selected = 0;
    c.drpLink.selected = 1;
    c.elapsedText.text = c.remainingText.text = "00:00:00";
    c.percentText.text = PercentText(0.0f);
    c.transcodeButton.enabled = true;
    PublishChannelControls();
    Changed(0);
}

void TranscoderDialog::RestoreDefaults() {
    for (DrpCurve& curve : curves) {
        curve.ClearPoints();
        curve.SetReleaseMs(DrpCurve::kDefaultReleaseMs);
    }
    controls.normalize.checked = controls.drp.checked = false;
    lastInputFolder.clear();
    lastOutputFolder.clear();
    OnInitDialog();
}

void TranscoderDialog::PublishChannelControls() {
    ChannelControls published;
    published.routing = routing;
    for (int k = 0; k < kColumns; ++k)
        published.sliderPositions[k] = controls.gainSliders[k].position;
    published.normalizeLinkMode = controls.normalizeLink.selected;
    published.drpLinkMode = controls.drpLink.selected;
    const std::lock_guard lock(publishedMutex);
    publishedControls = published;
}

ChannelControls TranscoderDialog::CurrentChannelControls() const {
    const std::lock_guard lock(publishedMutex);
    return publishedControls;
}

JobSettings TranscoderDialog::JobSettingsForJob() {
    JobSettings job;
    job.inputName = controls.inputName.text;
    job.outputName = controls.outputName.text;
    const OutputEngineKind* engine = SelectedEngine();
    job.engine = engine ? engine->cliName : "";
    job.graphProcessing = graphProcessing;
    job.audioTrack = wantedTrack;
    job.inputRate = GetInputRate();
    job.outputRate = GetOutputRate() ? GetOutputRate() : kDefaultOutputRate;
    job.bitrateKbps = GetBitrate();
    job.encoderThreads = encoderThreads;
    job.resample = ResamplingNeeded();
    job.resampler = GetResamplerKind();
    job.resyncMs = GetResyncMs();
    if (const auto priority = SelectedPriority()) job.priority = *priority;
    job.wavOrder = wavOrder;
    job.streamChannels = streamChannels;
    job.loudness = loudness.values;
    job.measureOnly = measureOnly;
    job.measureLoudness = measureLoudness;
    ChannelJobSettings& settings = job.channels;
    settings.normalize = IsNormalizeOn();
    settings.drp = IsDrpOn();
    settings.outputRate = job.outputRate;
    for (int k = 0; k < kColumns; ++k) {
        CurveCopy& copy = settings.curves[k];
        const auto count = static_cast<std::size_t>(curves[k].GetPointCount());
        copy.inputDb.assign(count, 0.0f);
        copy.outputDb.assign(count, 0.0f);
        curves[k].GetPointsDb(copy.inputDb.data(), copy.outputDb.data());
        copy.releaseMs = curves[k].GetReleaseMs();
    }
    PublishChannelControls();
    settings.controls = CurrentChannelControls();
    return job;
}

// --- Handlers ------------------------------------------------------------------------------

void TranscoderDialog::SetEncoderThreads(int threads) {
    encoderThreads = std::clamp(threads, 1, kMaxEncoderThreads);
}

void TranscoderDialog::SelectRouting(int column, int item) {
    if (column < 0 || column >= kColumns) return;
    controls.routingCombos[column].selected = item;
    FixRouting(column);
}

void TranscoderDialog::FixRouting(int column) {
    int missing = -1;
    for (int item = 0; item < kColumns && missing < 0; ++item) {
        bool shown = false;
        for (const auto& combo : controls.routingCombos) shown = shown || combo.selected == item;
        if (!shown) missing = item;
    }
    const int chosen = controls.routingCombos[column].selected;
    for (int k = 0; k < kColumns; ++k) {
        if (k != column && controls.routingCombos[k].selected == chosen) {
            controls.routingCombos[k].selected = missing;
            Changed(ctl::kRouting[k]);
            break;
        }
    }
    for (int k = 0; k < kColumns; ++k) routing[k] = controls.routingCombos[k].selected;
    PublishChannelControls();
    Changed(ctl::kRouting[column]);
}

void TranscoderDialog::SetSlider(int column, int position, const std::string& text) {
    controls.gainTexts[column].text = text;
    controls.gainSliders[column].position = position;
    Changed(ctl::kGainText[column]);
    Changed(ctl::kGainSlider[column]);
}

void TranscoderDialog::OnSliderScroll(int column, int position, bool carriesThumbPosition) {
    // A notification without a thumb position carries 0; a real position 0 mutes the
    // channel and says so.
    if (!carriesThumbPosition || column < 0 || column >= kColumns) return;
    if (position < SliderControl::kMin || position > SliderControl::kMax) return;
    const std::string text =
        position == 0 ? kMutedText : Format("%2.2f dB", 20.0 * std::log10(position * 0.01));
    for (int k : LinkedColumns(controls.normalizeLink.selected, column))
        SetSlider(k, position, text);
    PublishChannelControls();
}

std::vector<int> TranscoderDialog::LinkedColumns(int linkItem, int column) {
    enum { L, R, C, Lfe, Ls, Rs };
    switch (linkItem) {
        case 1:
            if (column == L || column == R) return {L, R};
            if (column == Ls || column == Rs) return {Ls, Rs};
            break;
        case 2:
            if (column != C && column != Lfe) return {L, R, Ls, Rs};
            break;
        case 3:
            if (column != Lfe) return {L, R, C, Ls, Rs};
            break;
        default:
            break;
    }
    return {column};
}

void TranscoderDialog::SelectOutputFrequency(int item) {
    controls.freq.selected = item;
    Changed(ctl::kFreq);
    NoteDvdRate();
}

void TranscoderDialog::NoteDvdRate() {
    const OutputEngineKind* engine = SelectedEngine();
    if (engine && engine->bitrateApplies && controls.freq.selected == kFreq44100)
        SetStatusText(kDvdRateNote);
}

void TranscoderDialog::SelectInputFrequency(int item) {
    controls.inputFrequency.selected = item;
    Changed(ctl::kInputFrequency);
}

void TranscoderDialog::SelectProcessingType(int item) {
    controls.processingType.selected = item;
    graphProcessing = item == kProcessingGraph;
    controls.statusText.text = graphProcessing ? kGraphStatus : "";
    Changed(ctl::kProcessingType);
    Changed(ctl::kStatus);
}

void TranscoderDialog::SelectOutputEngine(int item) {
    controls.outputEngine.selected = item;
    const OutputEngineKind* engine = OutputEngineOfItem(item);
    controls.bitrate.enabled = engine && engine->bitrateApplies;
    Changed(ctl::kOutputEngine);
    Changed(ctl::kBitrate);
    ApplyOutputNaming();
    NoteDvdRate();
}

void TranscoderDialog::SelectNormalizeLink(int item) {
    controls.normalizeLink.selected = item;
    PublishChannelControls();
    Changed(ctl::kNormalizeLink);
}

void TranscoderDialog::SelectDrpLink(int item) {
    controls.drpLink.selected = item;
    PublishChannelControls();
    Changed(ctl::kDrpLink);
}

void TranscoderDialog::SelectResyncDirection(int item) {
    controls.resyncDirection.selected = item;
    Changed(ctl::kResyncDirection);
}

void TranscoderDialog::SelectBitrate(int item) {
    controls.bitrate.selected = item;
    Changed(ctl::kBitrate);
}

void TranscoderDialog::SelectPriority(int item) {
    controls.priority.selected = item;
    Changed(ctl::kPriority);
}

void TranscoderDialog::ShowPriorityInForce(ProcessPriority priority) {
    const auto* item = std::find(std::begin(kPriorityOfItem), std::end(kPriorityOfItem), priority);
    SelectPriority(static_cast<int>(item - std::begin(kPriorityOfItem)));
}

void TranscoderDialog::SetResyncText(int controlId, const std::string& text) {
    const int* field = std::find(std::begin(kResyncFieldIds), std::end(kResyncFieldIds), controlId);
    if (field == std::end(kResyncFieldIds)) return;
    controls.resyncEdits[field - std::begin(kResyncFieldIds)].text = text;
    Changed(controlId);
}

void TranscoderDialog::SetBatch(const std::vector<std::string>& files) {
    controls.batchList = files;
    Changed(ctl::kBatch);
}

void TranscoderDialog::SetNormalize(bool on) {
    controls.normalize.checked = on;
    Changed(ctl::kNormalize);
}

void TranscoderDialog::SetDrp(bool on) {
    controls.drp.checked = on;
    Changed(ctl::kDrp);
}

void TranscoderDialog::SetHighQuality(bool on) {
    controls.highQuality.checked = on;
    Changed(ctl::kHighQuality);
}

void TranscoderDialog::SetInputName(const std::string& name) {
    // Another input's tracks are chosen afresh.
    if (name != controls.inputName.text) wantedTrack.reset();
    controls.inputName.text = name;
    Changed(ctl::kInputName);
}

void TranscoderDialog::SetOutputName(const std::string& name) {
    controls.outputName.text = name;
    Changed(ctl::kOutputName);
}

void TranscoderDialog::OnInputTyped() {
    const std::string name = controls.inputName.text;
    if (name.empty() || name == chosenInput) return;
    OnInputChosen(name);
}

void TranscoderDialog::SetLastFolders(const std::string& input, const std::string& output) {
    lastInputFolder = input;
    lastOutputFolder = output;
}

void TranscoderDialog::OnInputChosen(const std::string& name) {
    chosenInput = name;
    lastInputFolder = FolderOf(name);
    SetInputName(name);
    // Named for the default engine first; output naming then follows the selected one.
    SetOutputName(name + OutputEngineKinds().front().extension);
    RenderInputFile(name);
    ApplyOutputNaming();
    TakeInputRateFromFile();
}

bool TranscoderDialog::RenderInputFile(const std::string& name) {
    if (!graph) return true;
    if (!graphProcessing) {
        graph->Editor().Clear();
        renderedInput.clear();
        ShowAudioTracks(false);
        Changed(ctl::kFilterGraph);
        return true;
    }
    renderedInput = name;
    graph->Graph().WantStream(wantedTrack);
    const bool rendered = graph->Editor().RenderInputFile(name);
    if (!rendered) renderedInput.clear();
    const std::string& stream = graph->Graph().RenderedStream();
    if (rendered && !stream.empty()) {
        controls.statusText.text = "Graph reads " + stream;
        Changed(ctl::kStatus);
    }
    ShowAudioTracks(rendered);
    // The input frequency follows the stream's own rate; the output rate stays as chosen.
    if (const std::optional<int> rate = RenderedStreamRate()) {
        if (*rate == 44100) SelectInputFrequency(kFreq44100);
        if (*rate == 48000) SelectInputFrequency(kFreq48000);
    }
    Changed(ctl::kFilterGraph);
    return rendered;
}

std::optional<int> TranscoderDialog::RenderedStreamRate() const {
    if (!graph || renderedInput.empty()) return std::nullopt;
    const std::vector<AudioStreamDescription>& streams = graph->Graph().RenderedStreams();
    const std::size_t chosen = graph->Graph().ChosenStream();
    if (chosen >= streams.size() || streams[chosen].rate <= 0) return std::nullopt;
    return streams[chosen].rate;
}

void TranscoderDialog::ShowAudioTracks(bool rendered) {
    ComboControl& tracks = controls.audioTrack;
    tracks.items.clear();
    tracks.selected = -1;
    if (rendered) {
        const std::vector<AudioStreamDescription>& streams = graph->Graph().RenderedStreams();
        for (std::size_t i = 0; i < streams.size(); ++i)
            tracks.items.push_back(DescribeAudioStream(i, streams[i]));
        if (!streams.empty()) tracks.selected = static_cast<int>(graph->Graph().ChosenStream());
    }
    tracks.enabled = tracks.items.size() > 1;
    Changed(ctl::kAudioTrack);
}

void TranscoderDialog::SelectAudioTrack(int item) {
    if (item < 0) return;
    wantedTrack = static_cast<std::size_t>(item);
    // Rendered again only where a graph of this input is shown; else at the next render.
    if (graph && graphProcessing && !renderedInput.empty() && item != controls.audioTrack.selected)
        RenderInputFile(renderedInput);
}

void TranscoderDialog::SaveAllFilterSettings() {
    if (graph) graph->Editor().SaveAllFilterSettings();
}

void TranscoderDialog::TakeInputRateFromFile() {
    if (!inputRateProbe) return;
    const std::optional<int> rate = inputRateProbe(controls.inputName.text);
    if (rate == 44100) {
        // A 44.1 kHz file keeps its rate unless another output rate is chosen after it.
        SelectOutputFrequency(kFreq44100);
        SelectInputFrequency(kFreq44100);
    } else if (rate == 48000) {
        SelectInputFrequency(kFreq48000);
    }
}

void TranscoderDialog::OnOutputChosen(const std::string& name) {
    lastOutputFolder = FolderOf(name);
    SetOutputName(name);
    ApplyOutputNaming();
}

void TranscoderDialog::ApplyOutputNaming() {
    const std::string& text = controls.outputName.text;
    if (text.empty()) return;
    // Folder and base name stay as typed (file names are case-sensitive here); only the
    // extension is set, in lower case.
    const std::size_t slash = text.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = text.substr(0, nameStart);
    const std::size_t dot = text.find_last_of('.');
    const std::size_t baseEnd = (dot == std::string::npos || dot < nameStart) ? text.size() : dot;
    const std::string base = text.substr(nameStart, baseEnd - nameStart);
    const OutputEngineKind* engine = SelectedEngine();
    std::string result = text;
    if (engine && engine->writesFolder)
        result = folder.empty() ? kCurrentFolder : folder;  // a bare name: the current folder
    else if (engine)
        result = (base.empty() ? controls.inputName.text : folder + base) + engine->extension;
    SetOutputName(result);
}

void TranscoderDialog::CopyCurveToLinked(int column) {
    for (int k : LinkedColumns(controls.drpLink.selected, column)) {
        if (k == column) continue;
        curves[k].CopyPointsFrom(curves[column]);
        Changed(ctl::kCurveView[k]);
    }
}

void TranscoderDialog::AcceptCurve(int column, DrpCurve& edited) {
    if (column < 0 || column >= kColumns) return;
    curves[column].CopyPointsFrom(edited);
    curves[column].SetReleaseMs(edited.GetReleaseMs());
    Changed(ctl::kCurveView[column]);
    CopyCurveToLinked(column);
}

void TranscoderDialog::SetCurvePoints(int column, const std::vector<float>& inputDb,
                                      const std::vector<float>& outputDb) {
    if (column < 0 || column >= kColumns || inputDb.size() != outputDb.size()) return;
    curves[column].SetPointsDb(inputDb.data(), outputDb.data(), static_cast<int>(inputDb.size()));
    Changed(ctl::kCurveView[column]);
    CopyCurveToLinked(column);
}

void TranscoderDialog::SetReleaseTime(int column, int ms) {
    if (column < 0 || column >= kColumns) return;
    curves[column].SetReleaseMs(ms);
    Changed(ctl::kCurveView[column]);
}

bool TranscoderDialog::UpdateData() {
    int values[kResyncFieldCount] = {};
    for (int i = 0; i < kResyncFieldCount; ++i) {
        const std::optional<int> value = kResyncFields[i].Read(controls.resyncEdits[i].text);
        if (!value) {
            ui.MessageBox(kResyncFields[i].Refusal(), kAppName, MessageButtons::Ok,
                          MessageIcon::Exclamation);
            ui.FocusControl(kResyncFieldIds[i]);
            return false;
        }
        values[i] = *value;
    }
    resyncH = values[0];
    resyncM = values[1];
    resyncS = values[2];
    resyncMsValue = values[3];
    return true;
}

// --- Readers ---------------------------------------------------------------------------------

int TranscoderDialog::GetBitrate() const {
    const int item = controls.bitrate.selected;
    return item >= 0 && item < static_cast<int>(std::size(kBitratesKbps)) ? kBitratesKbps[item]
                                                                          : -1;
}

std::optional<ProcessPriority> TranscoderDialog::SelectedPriority() const {
    const int item = controls.priority.selected;
    if (item < 0 || item >= static_cast<int>(std::size(kPriorityOfItem))) return std::nullopt;
    return kPriorityOfItem[item];
}

std::string TranscoderDialog::BitrateRefusal(int kbps) {
    // Layer II bitrates that only a single channel may use: the multichannel stream's
    // compatible stereo pair needs more.
    if (kbps != 32 && kbps != 48 && kbps != 56 && kbps != 80) return "";
    return std::to_string(kbps) +
           " kbit/s is a bitrate for a single channel: the multichannel stream's stereo pair "
           "needs 64 kbit/s or more (64, 96, 112, 128, 160, 192, 224, 256, 320 or 384).";
}

int TranscoderDialog::BitrateItemOf(int kbps) {
    const auto* found = std::find(std::begin(kBitratesKbps), std::end(kBitratesKbps), kbps);
    return found == std::end(kBitratesKbps) ? -1
                                            : static_cast<int>(found - std::begin(kBitratesKbps));
}

int TranscoderDialog::GetOutputRate() const {
    switch (controls.freq.selected) {
        case kFreq44100:
            return 44100;
        case kFreq48000:
            return 48000;
        default:
            return 0;
    }
}

int TranscoderDialog::GetInputRate() const {
    return controls.inputFrequency.selected == kFreq44100 ? 44100 : 48000;
}

bool TranscoderDialog::ResamplingNeeded() const {
    return controls.freq.selected != controls.inputFrequency.selected;
}

const OutputEngineKind* TranscoderDialog::SelectedEngine() const {
    return OutputEngineOfItem(controls.outputEngine.selected);
}

ResamplerKind TranscoderDialog::GetResamplerKind() const {
    return controls.highQuality.checked ? ResamplerKind::kSoxr : ResamplerKind::kLinear;
}

int32_t TranscoderDialog::GetResyncMs() const {
    const int32_t ms =
        resyncMsValue +
        (resyncS + kSecondsPerMinute * resyncM + kSecondsPerHour * resyncH) * kMsPerSecond;
    return controls.resyncDirection.selected == kResyncInsert ? ms : -ms;
}

void TranscoderDialog::ShowPeakLevels(const std::array<float, kColumns>& levelsDb) {
    for (int k = 0; k < kColumns; ++k) {
        controls.peakTexts[k].text = Format("%2.2f dB", levelsDb[k]);
        Changed(ctl::kPeakText[k]);
    }
}

// --- Job display -----------------------------------------------------------------------------

std::string TranscoderDialog::FormatClock(float seconds) {
    // Single precision throughout, the reciprocals rounded as floats: the clock's text at
    // each second's and minute's edge depends on it.
    constexpr float kHoursPerSecond = 1.0f / kSecondsPerHour;
    constexpr float kMinutesPerSecond = 1.0f / kSecondsPerMinute;
    const int hours = static_cast<int>(seconds * kHoursPerSecond);
    const float rest = seconds - static_cast<float>(hours * kSecondsPerHour);
    const int minutes = static_cast<int>(rest * kMinutesPerSecond);
    const int secs = static_cast<int>(rest - static_cast<float>(minutes * kSecondsPerMinute));
    char text[48];
    std::snprintf(text, sizeof text, "%2.2d:%2.2d:%2.2d", hours, minutes, secs);
    return text;
}

void TranscoderDialog::ShowProgress(float percent, float elapsed) {
    controls.elapsedText.text = FormatClock(elapsed);
    Changed(ctl::kElapsed);
    controls.percentText.text = PercentText(percent);
    Changed(ctl::kPercent);
    if (percent > 0.0f) {
        controls.remainingText.text = FormatClock((100.0f - percent) * elapsed / percent);
        Changed(ctl::kRemaining);
    }
    int position = static_cast<int>(percent);
    if (position < ProgressControl::kMin) position = ProgressControl::kMin;
    if (position > ProgressControl::kMax) position = ProgressControl::kMax;
    controls.progress.position = position;
    Changed(ctl::kProgress);
}

std::string TranscoderDialog::PercentText(float percent) {
    return Format("%.2f %%", percent);
}

void TranscoderDialog::SetStatusText(const std::string& text) {
    controls.statusText.text = text;
    statusIsJobSummary = false;
    resultAwaitsSummary = false;
    Changed(ctl::kStatus);
}

void TranscoderDialog::EnableTranscode(bool enabled) {
    controls.transcodeButton.enabled = enabled;
    Changed(ctl::kTranscode);
}

}  // namespace tavrisk
