// Where the numbers of the worst marks go on a timeline: beside their mark
// where there is room, else the nearest free place above or below, further
// out, with a line to the mark, so that no two labels print over each other
// (a timer event and a wake-up of one stall share their place and time).
#include "formats/html_parts.h"

namespace {

// A label's box around its text's start and baseline, in SVG units, for
// bold text of 13 units: generous, so that the box the browser draws lies
// inside it in any of the page's fonts.
constexpr std::int64_t textAbove = 12;
constexpr std::int64_t textBelow = 3;
constexpr std::int64_t margin = 1;
// A mark's shape is 12 units across.
constexpr std::int64_t markHalf = 7;
// How far the search goes: rows of a label's height above and below, and
// steps of a label's width sideways.
constexpr std::int64_t rowStep = 15;
constexpr std::int64_t rowsMost = 10;
constexpr std::int64_t stepsSidewaysMost = 3;

struct Box {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Box labelBox(std::int64_t textX, std::int64_t textY, std::int64_t width) {
    return Box{textX - margin, textY - textAbove - margin, textX + width + margin, textY + textBelow + margin};
}

Box markBox(const MarkLabel& mark) {
    return Box{mark.x - markHalf, mark.y - markHalf, mark.x + markHalf, mark.y + markHalf};
}

// Whether a label there is inside the area and clear of every mark and of
// the labels placed before it.
bool isFree(const Box& box, const MarkLabel* labels, std::int64_t count, std::int64_t placed, const LabelArea& area) {
    if (box.left < area.left || box.right > area.right || box.top < area.top || box.bottom > area.bottom) return false;
    for (std::int64_t k = 0; k < count; ++k) {
        if (overlap(box, markBox(labels[k]))) return false;
        if (k < placed && overlap(box, labelBox(labels[k].textX, labels[k].textY, labels[k].width))) return false;
    }
    return true;
}

}  // namespace

std::int64_t markLabelWidth(std::int64_t rank, bool wake) {
    // 'w' and the digits of a bold face at 13 units, at their widest.
    std::int64_t width = wake ? 13 : 0;
    for (std::int64_t n = rank; n > 0; n /= 10) width += 10;
    return width;
}

void placeMarkLabels(MarkLabel* labels, std::int64_t count, const LabelArea& area) {
    for (std::int64_t k = 0; k < count; ++k) {
        MarkLabel& label = labels[k];
        // Right above the mark, as a lone mark has always had it, unless
        // that is taken.
        label.textX = label.x + 8;
        label.textY = label.y - 4;
        label.away = false;
        bool found = false;
        // Nearest first: rows out from the mark plus steps sideways.
        for (std::int64_t distance = 0; !found && distance <= rowsMost + stepsSidewaysMost; ++distance) {
            for (std::int64_t sideways = 0; !found && sideways <= stepsSidewaysMost && sideways <= distance; ++sideways) {
                const std::int64_t rows = distance - sideways;
                if (rows > rowsMost) continue;
                for (int place = 0; !found && place < 4; ++place) {
                    const bool right = place == 0 || place == 2;
                    const bool above = place < 2;
                    const std::int64_t shift = sideways * (label.width + 4);
                    const std::int64_t x = right ? label.x + 8 + shift : label.x - 8 - label.width - shift;
                    const std::int64_t y = above ? label.y - 4 - rows * rowStep : label.y + 14 + rows * rowStep;
                    if (!isFree(labelBox(x, y, label.width), labels, count, k, area)) continue;
                    label.textX = x;
                    label.textY = y;
                    label.away = distance > 0;
                    found = true;
                }
            }
        }
    }
}
