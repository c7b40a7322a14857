#include "ui/posix/terminal_view.h"

#include <utility>

namespace example {

namespace {
// Cursor two lines up, then clear to the end of the screen.
constexpr const char* kEraseTwoLines = "\x1b[2A\r\x1b[J";

void appendEscaped(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// The length of the well-formed UTF-8 sequence at `at` that encodes neither
// a control character (C1, U+0080 to U+009F) nor a surrogate; 0 if there is
// none.
std::size_t printableSequence(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned int lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0xA0;  // above the C1 controls
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    unsigned int code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string terminalSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        if (const std::size_t length = byte >= 0x80 ? printableSequence(text, i) : 0) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        appendEscaped(out, byte);
        ++i;
    }
    return out;
}

TerminalView::TerminalView(Writer write, bool interactive) : write_(std::move(write)), interactive_(interactive) {}

void TerminalView::eraseProgress() {
    if (progressDrawn_) {
        write_(kEraseTwoLines);
        progressDrawn_ = false;
    }
}

void TerminalView::drawProgress() {
    if (!interactive_) return;
    write_(terminalSafe(model_.overallLabel()) + "\n" + terminalSafe(model_.currentLabel()) + "\n");
    progressDrawn_ = true;
}

void TerminalView::appendLogLine(const std::string& text) {
    model_.appendLogLine(text);
    eraseProgress();
    write_(terminalSafe(text) + "\n");
    if (progressSeen_ && !model_.finished()) drawProgress();
}

void TerminalView::showProgress(const ProgressInfo& progress) {
    model_.showProgress(progress);
    progressSeen_ = true;
    if (!interactive_) return;
    eraseProgress();
    drawProgress();
}

FinishAction TerminalView::applyFinish(const FinishInfo& finish) {
    // The last progress lines stay on screen, frozen above the final message.
    progressDrawn_ = false;
    const FinishAction action = model_.applyFinish(finish);
    write_(terminalSafe(finish.message) + "\n");
    return action;
}

void TerminalView::applyLaunchResult(bool launched, const std::string& launchError) {
    if (!model_.applyLaunchResult(launched, launchError)) write_(terminalSafe(launchError) + "\n");
}

void TerminalView::note(const std::string& text) {
    eraseProgress();
    write_(terminalSafe(text) + "\n");
}

}  // namespace example
