// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CompletionScript.h"

#include <vector>

#include "cli/CliOptionTable.h"

namespace tavrisk {

namespace {

// The case arm that completes the value of `option`; empty for an option without one.
std::string ValueArm(const CliOption& option) {
    const std::string channels = CliJoined(CliChannelNames(), " ");
    const std::string head = "        " + option.name + ")\n            ";
    switch (option.kind) {
        case CliValueKind::kChoice:
            return head + "_tavrisk_cli_words \"\" " + CliJoined(option.choices, " ") +
                   "\n            return ;;\n";
        case CliValueKind::kText:
            return head + "return ;;\n";
        case CliValueKind::kChannelNumber:
            return head + "_tavrisk_cli_channel \"\"\n            return ;;\n";
        case CliValueKind::kChannelPair:
            return head + "_tavrisk_cli_channel \"" + channels + "\"\n            return ;;\n";
        case CliValueKind::kChannelFile:
            return head + "_tavrisk_cli_channel \"\" file\n            return ;;\n";
        case CliValueKind::kNone:
        case CliValueKind::kInputFiles:
            break;
    }
    return "";
}

}  // namespace

std::string CliCompletionScript() {
    std::vector<std::string> names, valued;
    std::string arms;
    for (const CliOption& option : CliOptionTable()) {
        names.push_back(option.name);
        const std::string arm = ValueArm(option);
        if (!arm.empty()) valued.push_back(option.name);
        arms += arm;
    }
    const std::string channels = CliJoined(CliChannelNames(), " ", "=");
    std::string script =
        R"(# bash completion for tavrisk-cli                       -*- shell-script -*-
# SPDX-License-Identifier: GPL-3.0-or-later
# Made from the program's option table when the program is built.

# Adds a word, after the text $1 that the shell keeps when "=" breaks words.
_tavrisk_cli_add() {
    if [[ $COMP_WORDBREAKS == *=* ]]; then COMPREPLY+=("$2"); else COMPREPLY+=("$1$2"); fi
}

# The words given that start as the word being completed does after the text $1.
_tavrisk_cli_words() {
    local keep=$1 word
    shift
    for word in "$@"; do
        [[ $word == "${cur#"$keep"}"* ]] && _tavrisk_cli_add "$keep" "$word"
    done
}

# The folders, and the files with one of the extensions given (any file without one).
_tavrisk_cli_files() {
    local keep=$1 file extension
    shift
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    for file in $(compgen -f -- "${cur#"$keep"}"); do
        if [[ ! -d $file && $# -gt 0 ]]; then
            for extension in "$@" ""; do
                [[ -n $extension && ${file,,} == *."$extension" ]] && break
            done
            [[ -n $extension ]] || continue
        fi
        _tavrisk_cli_add "$keep" "$file"
    done
}

_tavrisk_cli_folders() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$cur"))
}

# CH=VALUE: the channel names with "=", then after "=" the channels $1, or files when $2 is
# given.
_tavrisk_cli_channel() {
    if [[ $cur != *=* ]]; then
        _tavrisk_cli_words "" )" +
        channels + R"(
        compopt -o nospace 2>/dev/null
    elif [[ -n $2 ]]; then
        _tavrisk_cli_files "${cur%%=*}="
    else
        _tavrisk_cli_words "${cur%%=*}=" $1
    fi
}

# The words of the line up to the cursor as the shell will pass them, the last one the word
# being completed: blanks in quotes or after a backslash do not split, and quotes and
# backslashes are taken away.
_tavrisk_cli_split() {
    local line=${COMP_LINE:0:COMP_POINT} word="" quote="" started="" c i
    words=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $quote ]]; then
            [[ $c == "$quote" ]] && quote="" || word+=$c
        elif [[ $c == \\ ]]; then
            i=$((i + 1)) && word+=${line:i:1} && started=1
        elif [[ $c == [\"\'] ]]; then
            quote=$c && started=1
        elif [[ $c == [[:space:]] ]]; then
            [[ $started ]] && words+=("$word")
            word="" && started=""
        else
            word+=$c && started=1
        fi
    done
    words+=("$word")
}

_tavrisk_cli() {
    local -a words
    _tavrisk_cli_split
    local cur=${words[-1]} prev=""
    [[ ${#words[@]} -gt 2 ]] && prev=${words[-2]}
    COMPREPLY=()
    case $prev in
)" + arms +
        R"(    esac

    # The words before the one being completed that are not options: the command and files.
    local -a given=()
    local i ended="" batch=""
    for ((i = 1; i < ${#words[@]} - 1; i++)); do
        if [[ ! $ended ]]; then
            case ${words[i]} in
                --) ended=1 && continue ;;
                --batch) batch=1 && continue ;;
                )" +
        CliJoined(valued, " | ") + R"() ((i++)) && continue ;;
                -*) continue ;;
            esac
        fi
        given+=("${words[i]}")
    done
    if [[ ! $ended && $cur == -* ]]; then
        local -a options=()" +
        CliJoined(names, " ") + R"()
        [[ ${given[0]} == decode ]] && options=(--stereo --wav-order --yes)
        _tavrisk_cli_words "" "${options[@]}"
        return
    fi
    case ${given[0]}:${#given[@]} in
        check:1 | decode:1) _tavrisk_cli_files "" mp2 ;;
        decode:2) _tavrisk_cli_files "" wav ;;
        demo:1) _tavrisk_cli_folders ;;
        check:* | decode:* | demo:*) ;;
        *)
            if [[ $batch || ${#given[@]} -eq 0 ]]; then
                [[ $batch || $ended ]] || _tavrisk_cli_words "" check decode demo
                _tavrisk_cli_files "" )" +
        CliJoined(CliInputExtensions(), " ") + R"(
            elif [[ ${#given[@]} -eq 1 ]]; then
                _tavrisk_cli_files "" )" +
        CliJoined(CliOutputExtensions(), " ") + R"(
            fi
            ;;
    esac
}
complete -F _tavrisk_cli tavrisk-cli
)";
    return script;
}

}  // namespace tavrisk
