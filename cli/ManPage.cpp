// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ManPage.h"

#include "ProjectVersion.h"
#include "cli/CliOptionTable.h"
#include "cli/ExitStatus.h"

namespace tavrisk {

namespace {

// Text as troff prints it: backslashes and hyphens escaped, no line taken for a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string Header(const std::string& page, const std::string& date, const std::string& what) {
    std::string upper;
    for (const char c : page) upper += static_cast<char>(c == '-' ? c : c - 'a' + 'A');
    return ".TH " + Roff(upper) + " 1 \"" + date +
           "\" \"" TAVRISK_PACKAGE " " TAVRISK_VERSION "\" \"User Commands\"\n.SH NAME\n" +
           Roff(page) + " \\- " + Roff(what) + "\n";
}

std::string Paragraph(const std::string& title, const std::string& text) {
    return ".SH " + title + "\n" + Roff(text) + "\n";
}

std::string Footer(const std::string& seeAlso) {
    return ".SH SEE ALSO\n.BR " + seeAlso + " (1)\n" +
           Paragraph("COPYRIGHT", TAVRISK_LICENSE_TEXT " (" TAVRISK_LICENSE_SPDX ").");
}

struct StatusLine {
    int status;
    const char* meaning;
};

}  // namespace

std::string CliManPage(const std::string& date) {
    std::string page = Header("tavrisk-cli", date,
                              "transcode 5.1 film sound to MPEG-2 "
                              "multichannel Layer II or WAV");
    page += ".SH SYNOPSIS\n";
    for (const std::string& form : CliSynopsis())
        page += ".B tavrisk\\-cli\n" + Roff(form) + "\n.br\n";
    std::string summary;
    for (const std::string& line : CliSummary()) summary += (summary.empty() ? "" : " ") + line;
    page += Paragraph("DESCRIPTION", summary) + ".PP\n" +
            Roff(
                "check validates every frame of an .mp2 and lists each problem with "
                "its frame number; decode writes the six channels of a multichannel "
                ".mp2 (or with --stereo its stereo pair) to a WAV file; demo "
                "transcodes a built-in six-channel test signal into the folder "
                "OUTPUT (default demo-output).") +
            "\n.SH OPTIONS\n";
    for (const CliOption& option : CliOptionTable()) {
        page += option.value.empty()
                    ? ".TP\n.B " + Roff(option.name) + "\n"
                    : ".TP\n.BI \"" + Roff(option.name) + " \" \"" + Roff(option.value) + "\"\n";
        page += Roff(option.text) + "\n";
    }
    const StatusLine statuses[] = {
        {kExitDone, "done: the job ran to its end; check found no errors"},
        {kExitFailed,
         "the job failed (what it wrote is kept as NAME.partial.EXT); check found "
         "errors; decode met errors"},
        {kExitRefused,
         "refused before any work: an input that cannot be opened, an output that "
         "would overwrite the input, an existing output without --yes"},
        {kExitWarnings,
         "completed with warnings: the job ran past damage in its input, which "
         "it reported"},
        {kExitUsage, "an unknown command or option, a missing or bad argument"},
        {kExitStopped, "stopped by Ctrl-C; the output written so far is kept"},
    };
    page += ".SH EXIT STATUS\n";
    for (const StatusLine& line : statuses)
        page += ".TP\n.B " + std::to_string(line.status) + "\n" + Roff(line.meaning) + "\n";
    page += ".TP\n.B " + std::to_string(kExitSignalBase) + " + N\n" +
            Roff("stopped by signal N; the output written so far is kept as for Ctrl-C") + "\n";
    return page + Footer("tavrisk");
}

std::string WindowManPage(const std::string& date) {
    return Header("tavrisk", date, "transcode 5.1 film sound in a window") +
           ".SH SYNOPSIS\n.B tavrisk\n[FILE]\n" +
           Paragraph("DESCRIPTION",
                     "Opens the Tavrisk Transcoder window, with FILE (if given) as the input. It "
                     "reads the six-channel soundtrack of a film (." +
                         CliJoined(CliInputExtensions(), ", .") +
                         ") and writes an MPEG-2 multichannel Layer II .mp2, a six-channel WAV "
                         "file or six mono files. Every option of tavrisk-cli is a control of "
                         "the window; a file dropped on the window becomes the input; F1 opens "
                         "the manual.") +
           ".SH ENVIRONMENT\n.TP\n.B TAVRISK_APP_PATH\n" +
           Roff(
               "the folder of the presets (tavrisk.ini) and filter settings (filters/), in "
               "place of $XDG_CONFIG_HOME/tavrisk") +
           "\n.SH FILES\n.TP\n.I ~/.config/tavrisk/\n" +
           Roff("the presets, the filter settings and settings.ini") + "\n" +
           Footer("tavrisk\\-cli");
}

}  // namespace tavrisk
