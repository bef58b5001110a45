#pragma once
// The score picture: for every used part a dotted step line of the notes its
// series maps to, and solid step lines of the raw series values, the first
// part's always drawn and always on top. The horizontal axis is the index of
// the series value; integer arithmetic throughout.
#include "compose/NoteGen.h"
#include "compose/PartSettings.h"

#include <QColor>
#include <QImage>
#include <array>
#include <cstdint>
#include <span>

namespace sorvelin {

inline constexpr int ScoreWidth = 409;
inline constexpr int ScoreHeight = 201;

// One colour per part index.
extern const std::array<QRgb, PartSettingsCount> PartColors;

struct ScoreInput {
    std::span<const std::int32_t> series; // the whole table, 16 rows
    int notesPerPart = 200;               // horizontal scale
    int limit = 256;                      // the iteration limit in force
    int scaleMin = 0;
    int scaleMax = 0;
    std::array<bool, PartSettingsCount> used{};
    const NoteMapper* mapper = nullptr;
    bool showNote = true;
    bool showSeries = true;
};

// Repaints the whole of `image` (its size is the picture's size).
void DrawScore(QImage& image, const ScoreInput& input);

// The column of series index `index` on a score `width` pixels wide that
// shows `notesPerPart` values.
long long ScoreX(long long index, long long notesPerPart, long long width);

// The play position: a thin vertical line over the score at series index
// `index`; nothing for an index below 0.
inline constexpr QRgb PlayPositionColor = 0xFF8000;
void DrawPlayPosition(QImage& image, int index, int notesPerPart);

} // namespace sorvelin
