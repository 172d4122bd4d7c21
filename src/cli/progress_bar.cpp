#include "cli/progress_bar.h"

#include <cstdlib>

#include "support/display_text.h"
#include "support/number_text.h"

namespace {

// Redraws closer together than this would only flicker and cost time on big trees.
constexpr std::chrono::milliseconds kRedrawInterval{200};
constexpr size_t kDefaultWidth = 80;
// The line shows counts below this many items, and for more a percentage scaled as through
// 16 bits, done rounded up, as it always has.
constexpr int64_t kScaledTotal = 0xFFFF;
constexpr const char* kEllipsis = "...";

// The terminal's width as the shell exports it; one column is left free so that the line
// never wraps when the cursor stands behind its last character.
size_t LineWidth() {
    size_t width = kDefaultWidth;
    if (const char* columns = std::getenv("COLUMNS")) {
        const long value = std::strtol(columns, nullptr, 10);
        if (value > 20 && value < 10000) width = static_cast<size_t>(value);
    }
    return width - 1;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Columns taken by UTF-8 text, counting each character once.
size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (char c : text)
        if (!IsContinuationByte(c)) ++columns;
    return columns;
}

// The last columns of text, never starting inside a UTF-8 character.
std::string TailColumns(const std::string& text, size_t columns) {
    size_t start = text.size();
    size_t taken = 0;
    while (start > 0 && taken < columns) {
        --start;
        if (!IsContinuationByte(text[start])) ++taken;
    }
    while (start < text.size() && IsContinuationByte(text[start])) ++start;
    return text.substr(start);
}

int64_t Percent(int64_t done, int64_t total) {
    if (total > kScaledTotal) {
        done = (done * kScaledTotal + total - 1) / total;
        total = kScaledTotal;
    }
    return done * 100 / total;
}

std::string PositionStatus(const TProgress& progress) {
    const int64_t total = progress.total;
    const int64_t done = progress.done;
    if (total <= 0) return "";
    std::string status = std::to_string(Percent(done, total)) + "%";
    if (total < kScaledTotal) status += " (" + GroupThousands(done) + "/" + GroupThousands(total) + ")";
    return status + " ";
}

}  // namespace

std::string ProgressLine(const TProgress& progress, const std::string& text, size_t width) {
    std::string line = PositionStatus(progress);
    const size_t used = Columns(line);
    if (used >= width) return line;
    const size_t room = width - used;
    if (Columns(text) <= room) return line + text;
    if (room <= Columns(kEllipsis)) return line;
    return line + kEllipsis + TailColumns(text, room - Columns(kEllipsis));
}

TerminalProgressBar::TerminalProgressBar(bool enabled, std::ostream& out) : enabled_(enabled), out_(out) {}

TerminalProgressBar::~TerminalProgressBar() { Clear(); }

ProgressProc TerminalProgressBar::Callback() {
    if (!enabled_) return {};
    return [this](const TProgress& progress) { Update(progress); };
}

void TerminalProgressBar::Update(const TProgress& progress) {
    // An entry's name may hold control bytes, which must not reach the terminal raw.
    const std::string shown = PrintableText(progress.text != nullptr ? progress.text : "");
    const bool position = progress.HasPosition();
    // A report without position that repeats the last text only says the operation is alive
    // (a long step): what is drawn already says all there is.
    if (!position && drawnOnce_ && shown == lastText_) return;
    lastText_ = shown;
    // Phase announcements (position 0) are few and mark slow steps: always shown.
    const auto now = std::chrono::steady_clock::now();
    if (position && drawnOnce_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    drawnOnce_ = true;
    Draw(ProgressLine(progress, shown, LineWidth()));
}

void TerminalProgressBar::Draw(const std::string& line) {
    const size_t columns = Columns(line);
    std::string output = "\r" + line;
    // Blanks over what the previous, longer line left behind.
    if (columns < drawnColumns_) output += std::string(drawnColumns_ - columns, ' ') + "\r" + line;
    out_ << output << std::flush;
    drawnColumns_ = columns;
}

void TerminalProgressBar::Clear() {
    if (!enabled_ || !drawnOnce_) return;
    out_ << '\r' << std::string(drawnColumns_, ' ') << '\r' << std::flush;
    drawnColumns_ = 0;
    drawnOnce_ = false;
}
