#include "compose/NoteGen.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace sorvelin {
namespace {

// A modulo that stays within 0 .. divisor - 1 for every value.
int Wrap(long long value, long long divisor) {
    const long long r = value % divisor;
    return static_cast<int>(r < 0 ? r + divisor : r);
}

std::string WithoutHyphens(const std::string& key) {
    std::string plain;
    plain.reserve(key.size());
    for (char c : key) {
        if (c != '-') {
            plain.push_back(c);
        }
    }
    return plain;
}

// Sorts the items by key; keys are unique, so the order is total.
void SortByKey(std::vector<AssignItem>& items) {
    std::vector<std::pair<std::string, AssignItem>> keyed;
    keyed.reserve(items.size());
    for (AssignItem& item : items) {
        keyed.emplace_back(WithoutHyphens(item.Key), std::move(item));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        items[i] = std::move(keyed[i].second);
    }
}

} // namespace

bool AssignKeyLess(const std::string& a, const std::string& b) {
    // The space that ends every key (code 32) already ranks below the digits.
    return WithoutHyphens(a) < WithoutHyphens(b);
}

// A precision of 6 gives at least six digits with leading zeros, as the
// keys' fixed-point fields want.
std::string NoteKey(int repeat, int note) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6d--%.2d-%.6d ", repeat, 128 - note, note);
    return text;
}

std::string ResidueKey(int count, int residue) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6d-%.2d-%.6d ", count, 128 - residue, residue);
    return text;
}

AssignLists BuildAssignLists(const std::vector<int>& scaleNotes,
                             std::span<const std::int32_t> series) {
    AssignLists lists;
    std::array<int, 128> count{};
    for (int note : scaleNotes) {
        if (note >= 0 && note <= 127) {
            ++count[static_cast<std::size_t>(note)];
        }
    }
    for (int note = 127; note >= 1; --note) {
        const int times = count[static_cast<std::size_t>(note)];
        for (int n = times; n >= 1; --n) {
            lists.ListBox1.push_back({NoteKey(n, note), note});
        }
        if (times >= 2) {
            lists.DynamicAssignEnabled = true;
        }
    }
    SortByKey(lists.ListBox1);

    const int n = static_cast<int>(lists.ListBox1.size());
    if (n == 0) {
        return lists;
    }
    std::vector<long long> residues(static_cast<std::size_t>(n), 0);
    for (std::int32_t value : series) {
        ++residues[static_cast<std::size_t>(Wrap(value, n))];
    }
    for (int i = 0; i < n; ++i) {
        const long long c = residues[static_cast<std::size_t>(i)];
        lists.ListBox2.push_back({ResidueKey(static_cast<int>(c), i), i});
    }
    SortByKey(lists.ListBox2);
    lists.ResiduePosition.assign(static_cast<std::size_t>(n), 0);
    for (int d = 0; d < n; ++d) {
        lists.ResiduePosition[static_cast<std::size_t>(
            lists.ListBox2[static_cast<std::size_t>(d)].Value)] = d;
    }
    return lists;
}

int NoteMapper::AssignNote(int value) const {
    long long v = value;
    if (value == limit_) {
        if (controls_.IterationLimit != LimitNote) {
            return -1;
        }
        v = static_cast<long long>(lists_.ListBox1.size()) - 1;
    }
    const std::vector<int>& notes = scale_.ScaleNotes;
    const long long length = static_cast<long long>(notes.size());
    if (controls_.OoR == Compress) {
        // The range 0 .. limit is spread once over the scale. A limit lowered
        // after the series were sampled must not index past the scale.
        long long index = limit_ > 0 ? (length - 1) * v / limit_ : 0;
        index = std::clamp(index, 0LL, length - 1);
        return notes[static_cast<std::size_t>(index)];
    }
    const long long n = static_cast<long long>(lists_.ListBox1.size());
    if (controls_.DynamicAssignEnabled && controls_.DynamicAssign && n > 0 &&
        lists_.ListBox2.size() == lists_.ListBox1.size()) {
        const int residue = Wrap(v, n);
        const int position = lists_.ResiduePosition[static_cast<std::size_t>(residue)];
        return lists_.ListBox1[static_cast<std::size_t>(position)].Value;
    }
    return notes[static_cast<std::size_t>(Wrap(v, length))];
}

int NoteMapper::FindPitchBend(int note) const {
    for (std::size_t i = 0; i < scale_.ScaleNotes.size(); ++i) {
        if (scale_.ScaleNotes[i] == note) {
            return scale_.ScaleBends[i];
        }
    }
    return 0;
}

} // namespace sorvelin
