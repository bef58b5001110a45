#pragma once
// A strict reader of the Standard MIDI Files the program writes: it walks
// every chunk and every event and says what is wrong, or nothing. The fuzz
// targets and the fault tests hold the writer to it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sorvelin::check {

struct SmfSummary {
    int Format = -1;
    int TrackCount = 0;
    int Division = 0;
    // Per channel and key: note-ons still sounding at the end of each track
    // added up (a well-formed file of the program leaves none).
    int HangingNotes = 0;
    std::size_t Events = 0;
};

namespace detail {

inline std::uint32_t BE(std::span<const std::uint8_t> b, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | b[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// Reads a variable-length quantity of at most four bytes; false when it runs
// past `end` or is longer.
inline bool VarLen(std::span<const std::uint8_t> b, std::size_t& at, std::size_t end,
                   std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= end) {
            return false;
        }
        const std::uint8_t byte = b[at++];
        value = (value << 7) | (byte & 0x7Fu);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

inline int DataBytes(std::uint8_t status) {
    const int high = status & 0xF0;
    return high == 0xC0 || high == 0xD0 ? 1 : 2;
}

// One MTrk body from `at` to `end`; an empty string when it is well formed.
inline std::string CheckTrack(std::span<const std::uint8_t> b, std::size_t at, std::size_t end,
                              SmfSummary& summary) {
    std::uint8_t running = 0;
    std::vector<int> sounding(16 * 128, 0);
    bool ended = false;
    while (at < end) {
        if (ended) {
            return "bytes after the end of track";
        }
        std::uint32_t delta = 0;
        if (!VarLen(b, at, end, delta)) {
            return "delta time runs past the chunk or is longer than four bytes";
        }
        if (at >= end) {
            return "event missing after a delta time";
        }
        std::uint8_t status = b[at];
        if (status & 0x80) {
            ++at;
        } else {
            if (running == 0) {
                return "data byte without a running status";
            }
            status = running;
        }
        ++summary.Events;
        if (status == 0xFF) {
            if (at >= end) {
                return "meta event without a type";
            }
            const std::uint8_t type = b[at++];
            std::uint32_t length = 0;
            if (!VarLen(b, at, end, length) || length > end - at) {
                return "meta event length runs past the chunk";
            }
            if (type == 0x2F) {
                if (length != 0) {
                    return "end of track with data";
                }
                ended = true;
            }
            if (type == 0x51 && length != 3) {
                return "tempo event without three bytes";
            }
            at += length;
            running = 0;
        } else if (status == 0xF0 || status == 0xF7) {
            std::uint32_t length = 0;
            if (!VarLen(b, at, end, length) || length > end - at || length == 0) {
                return "system exclusive length runs past the chunk";
            }
            for (std::uint32_t i = 0; i + 1 < length; ++i) {
                if (b[at + i] & 0x80) {
                    return "system exclusive data byte of 128 or more";
                }
            }
            if (status == 0xF0 && b[at + length - 1] != 0xF7) {
                return "system exclusive message not closed by F7";
            }
            at += length;
            running = 0;
        } else if (status >= 0xF1) {
            return "system common or real-time status in a file";
        } else {
            const int count = DataBytes(status);
            if (end - at < static_cast<std::size_t>(count)) {
                return "channel message cut short by the chunk end";
            }
            for (int i = 0; i < count; ++i) {
                if (b[at + static_cast<std::size_t>(i)] & 0x80) {
                    return "data byte of 128 or more";
                }
            }
            const int channel = status & 0x0F;
            const int key = b[at];
            const int high = status & 0xF0;
            if (high == 0x90 && b[at + 1] != 0) {
                ++sounding[static_cast<std::size_t>(channel * 128 + key)];
            } else if ((high == 0x90 || high == 0x80) &&
                       sounding[static_cast<std::size_t>(channel * 128 + key)] > 0) {
                --sounding[static_cast<std::size_t>(channel * 128 + key)];
            }
            at += static_cast<std::size_t>(count);
            running = status;
        }
    }
    if (!ended) {
        return "track without an end of track event";
    }
    for (const int count : sounding) {
        summary.HangingNotes += count;
    }
    return {};
}

} // namespace detail

// Checks the whole file: header, the declared number of MTrk chunks whose
// lengths match their contents, no bytes left over. Empty string: well formed.
inline std::string CheckSmf(std::span<const std::uint8_t> b, SmfSummary& summary) {
    using detail::BE;
    if (b.size() < 14 || BE(b, 0, 4) != 0x4D546864u) {
        return "no MThd chunk";
    }
    if (BE(b, 4, 4) != 6) {
        return "header length is not 6";
    }
    summary.Format = static_cast<int>(BE(b, 8, 2));
    summary.TrackCount = static_cast<int>(BE(b, 10, 2));
    summary.Division = static_cast<int>(BE(b, 12, 2));
    if (summary.Format > 2 || summary.Division == 0) {
        return "bad format or division";
    }
    std::size_t at = 14;
    for (int t = 0; t < summary.TrackCount; ++t) {
        if (b.size() - at < 8 || BE(b, at, 4) != 0x4D54726Bu) {
            return "track " + std::to_string(t) + ": no MTrk chunk";
        }
        const std::uint32_t length = BE(b, at + 4, 4);
        at += 8;
        if (length > b.size() - at) {
            return "track " + std::to_string(t) + ": chunk length runs past the file";
        }
        const std::string fault = detail::CheckTrack(b, at, at + length, summary);
        if (!fault.empty()) {
            return "track " + std::to_string(t) + ": " + fault;
        }
        at += length;
    }
    if (at != b.size()) {
        return "bytes after the last track";
    }
    return {};
}

inline std::string CheckSmf(const std::string& bytes, SmfSummary& summary) {
    return CheckSmf(std::span<const std::uint8_t>(
                        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                    summary);
}

// A short message as sent to an output: a status byte of 0x80 to 0xEF with
// exactly its data bytes, each below 128; or a whole F0 .. F7 message.
inline bool WellFormedMessage(const std::vector<std::uint8_t>& bytes, bool isLong) {
    if (bytes.empty()) {
        return false;
    }
    if (isLong) {
        if (bytes.front() != 0xF0 || bytes.back() != 0xF7 || bytes.size() < 2) {
            return false;
        }
        for (std::size_t i = 1; i + 1 < bytes.size(); ++i) {
            if (bytes[i] & 0x80) {
                return false;
            }
        }
        return true;
    }
    const std::uint8_t status = bytes.front();
    if (status < 0x80 || status > 0xEF) {
        return false;
    }
    if (bytes.size() != static_cast<std::size_t>(1 + detail::DataBytes(status))) {
        return false;
    }
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (bytes[i] & 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace sorvelin::check
