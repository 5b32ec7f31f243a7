#include "app/TranscoderDialog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "app/GraphSession.h"

namespace tavrisk {

namespace {

// The channels' curve grid: the main window's small views show it a step a pixel.
constexpr int kCurveViewWidth = 78;
constexpr int kCurveViewHeight = 62;
constexpr int kFullSlider = 100;

const std::vector<std::string> kEngineItems = {
    " MP2 Engine (single 6ch file)", " PCM Engine (6 mono files)", " WAV Engine (single 6ch file)",
    " WAV Engine (6 mono files)"};
const std::vector<std::string> kFrequencyItems = {"44100 Hz", "48000 Hz"};
const std::vector<std::string> kBitrateItems = {
    "32 Kbps",  "48 Kbps",  "56 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps",  "112 Kbps",
    "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps", "384 Kbps"};
const std::vector<std::string> kProcessingItems = {"DirectShow Processing", "Native Processing"};
const std::vector<std::string> kResyncItems = {"Insert", "Skip"};
const std::vector<std::string> kChannelItems = {"Front Left", "Front Right", "Center",
                                                "LFE",        "Rear Left",   "Rear Right"};
const std::vector<std::string> kLinkItems = {"(C) (L) (R) (LS) (RS) (LFE)",
                                             "(C) (L R) (LS RS) (LFE)", "(C) (L R LS RS) (LFE)",
                                             "(C L R LS RS) (LFE)"};
const std::vector<std::string> kPriorityItems = {"NORMAL_PRIORITY", "IDLE_PRIORITY",
                                                 "HIGH_PRIORITY"};

uint32_t SteadyTicks() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TranscoderDialog::TranscoderDialog(UserInterface& ui, TickSource ticks)
    : ui(ui), ticks(ticks ? std::move(ticks) : TickSource(SteadyTicks)) {
    outputEngine.items = kEngineItems;
    freq.items = kFrequencyItems;
    bitrate.items = kBitrateItems;
    processingType.items = kProcessingItems;
    inputFrequency.items = kFrequencyItems;
    resyncDirection.items = kResyncItems;
    for (auto& combo : routingCombos) combo.items = kChannelItems;
    normalizeLink.items = kLinkItems;
    drpLink.items = kLinkItems;
    priority.items = kPriorityItems;
    for (auto& curve : curves) curve.SetGridSize(kCurveViewWidth, kCurveViewHeight);
    OnInitDialog();
}

void TranscoderDialog::OnInitDialog() {
    SelectProcessingType(kProcessingGraph);
    bitrate.selected = static_cast<int>(bitrate.items.size()) - 1;
    outputEngine.selected = kEngineMp2;
    bitrate.enabled = true;
    progress.position = 0;
    freq.selected = kFreq48000;
    inputFrequency.selected = kFreq48000;
    resyncDirection.selected = kResyncSkip;
    // From a std::string: assigning the literal trips a false -Wrestrict in GCC 12 at -O3.
    for (EditControl* edit : {&resyncHours, &resyncMinutes, &resyncSeconds, &resyncMillis})
        edit->text = std::string("0");
    resyncH = resyncM = resyncS = resyncMsValue = 0;
    for (int k = 0; k < kColumns; ++k) {
        routingCombos[k].selected = k;
        routing[k] = k;
    }
    priority.selected = 0;
    highQuality.checked = true;
    normalizeLink.selected = ChannelSettings::kNoSelection;
    for (int k = 0; k < kColumns; ++k) OnSliderScroll(k, kFullSlider);
    for (auto& curve : curves) curve.SetEditable(false);
    normalizeLink.selected = 0;
    drpLink.selected = 1;
    elapsedText.text = remainingText.text = "00:00:00";
    percentText.text = "000,00%";
    transcodeButton.enabled = true;
    RequestStop();
    PublishChannelControls();
    Changed(0);
}

void TranscoderDialog::PublishChannelControls() {
    ChannelControls controls;
    controls.routing = routing;
    for (int k = 0; k < kColumns; ++k) controls.sliderPositions[k] = gainSliders[k].position;
    controls.normalizeLinkMode = normalizeLink.selected;
    controls.drpLinkMode = drpLink.selected;
    const std::lock_guard lock(publishedMutex);
    publishedControls = controls;
}

ChannelControls TranscoderDialog::CurrentChannelControls() const {
    const std::lock_guard lock(publishedMutex);
    return publishedControls;
}

ChannelJobSettings TranscoderDialog::ChannelSettingsForJob() {
    ChannelJobSettings settings;
    settings.normalize = IsNormalizeOn();
    settings.drp = IsDrpOn();
    settings.outputRate = GetOutputRate();
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
    return settings;
}

// --- Handlers ------------------------------------------------------------------------------

void TranscoderDialog::SelectRouting(int column, int item) {
    if (column < 0 || column >= kColumns) return;
    routingCombos[column].selected = item;
    FixRouting(column);
}

void TranscoderDialog::FixRouting(int column) {
    int missing = -1;
    for (int item = 0; item < kColumns && missing < 0; ++item) {
        bool shown = false;
        for (const auto& combo : routingCombos) shown = shown || combo.selected == item;
        if (!shown) missing = item;
    }
    const int chosen = routingCombos[column].selected;
    for (int k = 0; k < kColumns; ++k) {
        if (k != column && routingCombos[k].selected == chosen) {
            routingCombos[k].selected = missing;
            Changed(ctl::kRouting[k]);
            break;
        }
    }
    for (int k = 0; k < kColumns; ++k) routing[k] = routingCombos[k].selected;
    PublishChannelControls();
    Changed(ctl::kRouting[column]);
}

void TranscoderDialog::SetSlider(int column, int position, const std::string& text) {
    gainTexts[column].text = text;
    gainSliders[column].position = position;
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
    for (int k : LinkedColumns(normalizeLink.selected, column)) SetSlider(k, position, text);
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
    freq.selected = item;
    Changed(ctl::kFreq);
    PairFrequencies();
}

void TranscoderDialog::SelectInputFrequency(int item) {
    inputFrequency.selected = item;
    Changed(ctl::kInputFrequency);
    PairFrequencies();
}

void TranscoderDialog::PairFrequencies() {
    if (inputFrequency.selected == kFreq44100 && freq.selected == kFreq48000) {
        MessageBox("Upsampling not supported", kAppName, MessageButtons::Ok,
                   MessageIcon::Exclamation);
        freq.selected = kFreq48000;
        inputFrequency.selected = kFreq48000;
        Changed(ctl::kFreq);
        Changed(ctl::kInputFrequency);
    }
}

void TranscoderDialog::SelectProcessingType(int item) {
    processingType.selected = item;
    directShowMode = item == kProcessingGraph;
    statusText.text = directShowMode ? kGraphStatus : "";
    Changed(ctl::kProcessingType);
    Changed(ctl::kStatus);
}

void TranscoderDialog::SelectOutputEngine(int item) {
    outputEngine.selected = item;
    bitrate.enabled = item == kEngineMp2;
    Changed(ctl::kOutputEngine);
    Changed(ctl::kBitrate);
    ApplyOutputNaming();
}

void TranscoderDialog::SelectNormalizeLink(int item) {
    normalizeLink.selected = item;
    PublishChannelControls();
    Changed(ctl::kNormalizeLink);
}

void TranscoderDialog::SelectDrpLink(int item) {
    drpLink.selected = item;
    PublishChannelControls();
    Changed(ctl::kDrpLink);
}

void TranscoderDialog::SelectResyncDirection(int item) {
    resyncDirection.selected = item;
    Changed(ctl::kResyncDirection);
}

void TranscoderDialog::SelectBitrate(int item) {
    bitrate.selected = item;
    Changed(ctl::kBitrate);
}

void TranscoderDialog::SelectPriority(int item) {
    priority.selected = item;
    Changed(ctl::kPriority);
}

void TranscoderDialog::SetResyncText(int controlId, const std::string& text) {
    EditControl* edit = controlId == ctl::kResyncHours     ? &resyncHours
                        : controlId == ctl::kResyncMinutes ? &resyncMinutes
                        : controlId == ctl::kResyncSeconds ? &resyncSeconds
                        : controlId == ctl::kResyncMs      ? &resyncMillis
                                                           : nullptr;
    if (!edit) return;
    edit->text = text;
    Changed(controlId);
}

void TranscoderDialog::SetNormalize(bool on) {
    normalize.checked = on;
    Changed(ctl::kNormalize);
}

void TranscoderDialog::SetDrp(bool on) {
    drp.checked = on;
    Changed(ctl::kDrp);
}

void TranscoderDialog::SetHighQuality(bool on) {
    highQuality.checked = on;
    Changed(ctl::kHighQuality);
}

void TranscoderDialog::SetInputName(const std::string& name) {
    inputName.text = name;
    Changed(ctl::kInputName);
}

void TranscoderDialog::SetOutputName(const std::string& name) {
    outputName.text = name;
    Changed(ctl::kOutputName);
}

void TranscoderDialog::OnInputChosen(const std::string& name) {
    SetInputName(name);
    SetOutputName(name + ".mp2");
    RenderInputFile(name);
    ApplyOutputNaming();
    TakeInputRateFromFile();
}

bool TranscoderDialog::RenderInputFile(const std::string& name) {
    if (!graph) return true;
    if (!directShowMode) {
        graph->Editor().Clear();
        renderedInput.clear();
        Changed(ctl::kFilterGraph);
        return true;
    }
    renderedInput = name;
    const bool rendered = graph->Editor().RenderInputFile(name);
    if (!rendered) renderedInput.clear();
    const std::string& stream = graph->Graph().RenderedStream();
    if (rendered && !stream.empty()) {
        statusText.text = "Graph reads " + stream;
        Changed(ctl::kStatus);
    }
    Changed(ctl::kFilterGraph);
    return rendered;
}

void TranscoderDialog::SaveAllFilterSettings() {
    if (graph) graph->Editor().SaveAllFilterSettings();
}

void TranscoderDialog::StartRunningJob(std::unique_ptr<RunningJob> job) {
    runningJob = std::move(job);
}

bool TranscoderDialog::OnTimer() {
    if (!runningJob) return false;
    if (runningJob->OnTimer()) return true;
    finishedOutcome = runningJob->Outcome();
    jobOutputs = runningJob->KeptOutputs();
    runningJob.reset();
    RequestStop();
    EnableTranscode(true);
    ui.SetBusy(false);
    return false;
}

TranscoderDialog::~TranscoderDialog() {
    // A job still running is stopped where it stands; its output is closed validly.
    if (runningJob) RequestStop();
    runningJob.reset();
}

void TranscoderDialog::TakeInputRateFromFile() {
    if (!inputRateProbe) return;
    const std::optional<int> rate = inputRateProbe(inputName.text);
    if (rate == 44100) {
        // The output cannot be above the input: both go to 44100 Hz, the output first so
        // that no upsampling is ever selected.
        SelectOutputFrequency(kFreq44100);
        SelectInputFrequency(kFreq44100);
    } else if (rate == 48000) {
        SelectInputFrequency(kFreq48000);
    }
}

void TranscoderDialog::OnOutputChosen(const std::string& name) {
    SetOutputName(name);
    ApplyOutputNaming();
}

void TranscoderDialog::ApplyOutputNaming() {
    const std::string& text = outputName.text;
    if (text.empty()) return;
    // Folder and base name stay as typed (file names are case-sensitive here); only the
    // extension is set, in lower case.
    const std::size_t slash = text.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = text.substr(0, nameStart);
    const std::size_t dot = text.find_last_of('.');
    const std::size_t baseEnd = (dot == std::string::npos || dot < nameStart) ? text.size() : dot;
    const std::string base = text.substr(nameStart, baseEnd - nameStart);
    std::string result;
    switch (outputEngine.selected) {
        case kEngineMp2:
            result = base.empty() ? inputName.text + ".mp2" : folder + base + ".mp2";
            break;
        case kEnginePcmMono:
        case kEngineWavMono:
            result = folder;
            break;
        case kEngineWav:
            result = base.empty() ? inputName.text + ".wav" : folder + base + ".wav";
            break;
        default:
            result = text;
            break;
    }
    SetOutputName(result);
}

void TranscoderDialog::OnCurveEdited(int column) {
    for (int k : LinkedColumns(drpLink.selected, column)) {
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
    OnCurveEdited(column);
}

bool TranscoderDialog::OnOK() {
    if (StopRequested() && !runningJob) {
        SaveAllFilterSettings();
        return true;
    }
    // A graph job asked to stop ends at its next ticks.
    if (StopRequested()) return false;
    if (MessageBox("Sure to stop ?", "Abort transcoding", MessageButtons::OkCancel,
                   MessageIcon::Question) == MessageAnswer::Ok)
        RequestStop();
    return false;
}

bool TranscoderDialog::UpdateData() {
    const EditControl* edits[kResyncFieldCount] = {&resyncHours, &resyncMinutes, &resyncSeconds,
                                                   &resyncMillis};
    int values[kResyncFieldCount] = {};
    for (int i = 0; i < kResyncFieldCount; ++i) {
        const std::optional<int> value = kResyncFields[i].Read(edits[i]->text);
        if (!value) {
            MessageBox(kResyncFields[i].Refusal(), kAppName, MessageButtons::Ok,
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
    const std::string text = bitrate.SelectedText();
    const std::size_t blank = text.find(' ');
    if (text.empty() || blank == std::string::npos) return -1;
    return std::atoi(text.substr(0, blank).c_str());
}

int TranscoderDialog::GetOutputRate() const {
    switch (freq.selected) {
        case kFreq44100:
            return 44100;
        case kFreq48000:
            return 48000;
        default:
            return 0;
    }
}

int TranscoderDialog::GetInputRate() const {
    return inputFrequency.selected == kFreq44100 ? 44100 : 48000;
}

bool TranscoderDialog::ResamplingNeeded() const {
    return freq.selected != inputFrequency.selected;
}

ResamplerKind TranscoderDialog::GetResamplerKind() const {
    return highQuality.checked ? ResamplerKind::kSoxr : ResamplerKind::kLinear;
}

int32_t TranscoderDialog::GetResyncMs() const {
    const int32_t ms = resyncMsValue + (resyncS + 60 * resyncM + 3600 * resyncH) * 1000;
    return resyncDirection.selected == kResyncInsert ? ms : -ms;
}

void TranscoderDialog::ShowPeakLevels(const std::array<float, kColumns>& levelsDb) {
    if (!ui.OnUiThread()) {
        ui.Post([this, levelsDb] { ShowPeakLevels(levelsDb); });
        return;
    }
    for (int k = 0; k < kColumns; ++k) {
        peakTexts[k].text = Format("%2.2f dB", levelsDb[k]);
        Changed(ctl::kPeakText[k]);
    }
}

// --- Job display -----------------------------------------------------------------------------

void TranscoderDialog::MarkStart() {
    startSeconds = static_cast<int32_t>(TickSeconds());
}

uint32_t TranscoderDialog::TickSeconds() const {
    return ticks() / 1000u;
}

std::string TranscoderDialog::FormatClock(float seconds) {
    const int hours = static_cast<int>(seconds * 0.00027777778f);
    const float rest = seconds - static_cast<float>(hours) * 3600.0f;
    const int minutes = static_cast<int>(rest * 0.016666668f);
    const int secs = static_cast<int>(rest - static_cast<float>(minutes) * 60.0f);
    char text[48];
    std::snprintf(text, sizeof text, "%2.2d:%2.2d:%2.2d", hours, minutes, secs);
    return text;
}

bool TranscoderDialog::UpdateProgress(float percent, bool reset) {
    (void)reset;  // marks the start of a pass; it does not change what is shown
    if (!ui.OnUiThread()) {
        // From a streaming thread: the latest value is shown by one queued update.
        postedPercent.store(percent, std::memory_order_relaxed);
        if (!progressPosted.exchange(true)) {
            ui.Post([this] {
                progressPosted.store(false);
                ShowProgress(postedPercent.load(std::memory_order_relaxed));
            });
        }
        return StopRequested();
    }
    ShowProgress(percent);
    ui.PumpMessages();
    return StopRequested();
}

void TranscoderDialog::ShowProgress(float percent) {
    float elapsed = static_cast<float>(TickSeconds()) - static_cast<float>(startSeconds);
    if (elapsed < 0.0f) elapsed = 0.0f;
    elapsedText.text = FormatClock(elapsed);
    Changed(ctl::kElapsed);
    percentText.text = Format("%3.2f%%", percent);
    Changed(ctl::kPercent);
    if (percent > 0.0f) {
        remainingText.text = FormatClock((100.0f - percent) * elapsed / percent);
        Changed(ctl::kRemaining);
    }
    int position = static_cast<int>(percent);
    if (position < ProgressControl::kMin) position = ProgressControl::kMin;
    if (position > ProgressControl::kMax) position = ProgressControl::kMax;
    progress.position = position;
    Changed(ctl::kProgress);
}

void TranscoderDialog::SetStatusText(const std::string& text) {
    if (!ui.OnUiThread()) {
        ui.Post([this, text] { SetStatusText(text); });
        return;
    }
    statusText.text = text;
    Changed(ctl::kStatus);
}

void TranscoderDialog::EnableTranscode(bool enabled) {
    transcodeButton.enabled = enabled;
    Changed(ctl::kTranscode);
}

}  // namespace tavrisk
