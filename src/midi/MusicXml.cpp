#include "midi/MusicXml.h"

#include "base/Errors.h"
#include "midi/Mididata.h"
#include "midi/Midispec.h"
#include "midi/ScoreNotation.h"
#include "midi/ZipStore.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace sorvelin {
namespace {

constexpr int WheelUnitsPer100Cents = 4096;
constexpr double MusicXmlForteVelocity = 90.0; // the velocity of dynamics 100
constexpr int CentrePan = 64;
constexpr std::size_t FlushBytes = 1 << 16;
constexpr const char* ScoreEntryName = "score.musicxml";

// The nearest whole cent of a wheel offset.
int CentsOfBend(int bend) {
    const int units = (bend - PitchWheelCentre) * 100;
    const int half = WheelUnitsPer100Cents / 2;
    return units >= 0 ? (units + half) / WheelUnitsPer100Cents
                      : -((-units + half) / WheelUnitsPer100Cents);
}

// Up to two decimals, without trailing zeros: 120, 110.5, -89.3.
std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

// Text as XML character data: markup characters escaped, and whatever is not
// a character of well-formed UTF-8 XML (a stray byte of a file name, a
// control character) as U+FFFD.
std::string XmlText(std::string_view text) {
    std::string out;
    const auto replacement = "\xEF\xBF\xBD";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += replacement;
            } else if (c == '&') {
                out += "&amp;";
            } else if (c == '<') {
                out += "&lt;";
            } else if (c == '>') {
                out += "&gt;";
            } else if (c == '"') {
                out += "&quot;";
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const int length = c >= 0xF0 && c < 0xF5   ? 4
                           : c >= 0xE0             ? 3
                           : c >= 0xC2 && c < 0xE0 ? 2
                                                   : 0;
        bool good = length > 0 && c < 0xF5 && i + static_cast<std::size_t>(length) <= text.size();
        std::uint32_t code = good ? c & (0x7Fu >> length) : 0;
        for (int k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            good = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates, beyond U+10FFFF and the two non-characters.
        good = good &&
               !(length == 3 && (code < 0x800 || (code >= 0xD800 && code < 0xE000) ||
                                 code == 0xFFFE || code == 0xFFFF)) &&
               !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (good) {
            out.append(text.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

// The dynamics mark nearest a velocity.
const char* DynamicsMark(int velocity) {
    struct Mark {
        const char* name;
        int velocity;
    };
    static constexpr Mark marks[] = {{"pp", 33}, {"p", 49},   {"mp", 64},  {"mf", 80},
                                     {"f", 96},  {"ff", 112}, {"fff", 127}};
    const Mark* best = &marks[0];
    for (const Mark& m : marks) {
        if (std::abs(m.velocity - velocity) < std::abs(best->velocity - velocity)) {
            best = &m;
        }
    }
    return best->name;
}

// The score's text, gathered in a buffer and handed to the stream in large
// pieces.
class XmlOut {
public:
    explicit XmlOut(std::ostream& out) : out_(out) { buffer_.reserve(FlushBytes * 2); }
    XmlOut& operator<<(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= FlushBytes) {
            Flush();
        }
        return *this;
    }
    XmlOut& operator<<(long long value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        return *this << std::string_view(digits, static_cast<std::size_t>(result.ptr - digits));
    }
    XmlOut& operator<<(int value) { return *this << static_cast<long long>(value); }
    void Flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
        if (!out_) {
            throw FileError("The score could not be written completely");
        }
    }

private:
    std::ostream& out_;
    std::string buffer_;
};

// A part's written octave moves up by one when it holds keys below C0, which
// MusicXML's octaves (0 to 9) cannot name; the part then says it sounds an
// octave lower.
bool NeedsOctaveDown(const ScorePart& part) {
    return std::any_of(part.notes.begin(), part.notes.end(),
                       [](const ScoreNote& n) { return n.key < 12; });
}

// Bass clef for a part whose notes lie mostly below middle C.
bool LowPart(const ScorePart& part) {
    std::size_t low = 0;
    for (const ScoreNote& n : part.notes) {
        low += n.key < 60 ? 1 : 0;
    }
    return 2 * low > part.notes.size();
}

void WriteHeader(XmlOut& xml, const ScoreOptions& options, const std::vector<ScorePart>& parts) {
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
           "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
           "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
           "<score-partwise version=\"4.0\">\n"
           "  <work>\n    <work-title>"
        << XmlText(options.title.empty() ? "Untitled" : options.title)
        << "</work-title>\n  </work>\n"
           "  <identification>\n    <encoding>\n      <software>Sorvelin</software>\n"
           "      <supports element=\"accidental\" type=\"yes\"/>\n"
           "      <supports element=\"beam\" type=\"no\"/>\n"
           "      <supports element=\"stem\" type=\"no\"/>\n"
           "    </encoding>\n  </identification>\n"
           "  <part-list>\n";
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const ScorePart& part = parts[p];
        const std::string id = "P" + std::to_string(p + 1);
        xml << "    <score-part id=\"" << id << "\">\n      <part-name>" << XmlText(part.name)
            << "</part-name>\n      <score-instrument id=\"" << id
            << "-I1\">\n        <instrument-name>" << XmlText(ProgramName(part.program))
            << "</instrument-name>\n      </score-instrument>\n      <midi-instrument id=\"" << id
            << "-I1\">\n        <midi-channel>" << part.channel + 1
            << "</midi-channel>\n        <midi-program>" << part.program + 1
            << "</midi-program>\n        <pan>"
            << Decimal((part.pan - CentrePan) * 90.0 / CentrePan)
            << "</pan>\n      </midi-instrument>\n    </score-part>\n";
    }
    xml << "  </part-list>\n";
}

void WriteAttributes(XmlOut& xml, const ScorePart& part) {
    xml << "      <attributes>\n        <divisions>" << ScoreTicksPerBeat
        << "</divisions>\n        <key>\n          <fifths>0</fifths>\n        </key>\n"
           "        <time>\n          <beats>4</beats>\n          <beat-type>4</beat-type>\n"
           "        </time>\n";
    if (LowPart(part)) {
        xml << "        <clef>\n          <sign>F</sign>\n          <line>4</line>\n"
               "        </clef>\n";
    } else {
        xml << "        <clef>\n          <sign>G</sign>\n          <line>2</line>\n"
               "        </clef>\n";
    }
    if (NeedsOctaveDown(part)) {
        xml << "        <transpose>\n          <diatonic>0</diatonic>\n"
               "          <chromatic>0</chromatic>\n"
               "          <octave-change>-1</octave-change>\n        </transpose>\n";
    }
    xml << "      </attributes>\n";
}

void WriteTempo(XmlOut& xml, double bpm) {
    const std::string text = Decimal(bpm);
    xml << "      <direction placement=\"above\">\n        <direction-type>\n"
           "          <metronome>\n            <beat-unit>quarter</beat-unit>\n"
           "            <per-minute>"
        << text
        << "</per-minute>\n          </metronome>\n        </direction-type>\n"
           "        <sound tempo=\""
        << text << "\"/>\n      </direction>\n";
}

class PartWriter {
public:
    PartWriter(XmlOut& xml, const ScorePart& part, const ScoreOptions& options)
        : xml_(xml), part_(part), options_(options), octaveUp_(NeedsOctaveDown(part)) {}

    void Write(std::size_t index, std::int32_t end, double bpm) {
        std::vector<NoteSpan> spans;
        spans.reserve(part_.notes.size());
        for (const ScoreNote& n : part_.notes) {
            spans.push_back({n.start, n.length});
        }
        const std::vector<WrittenPiece> pieces = WritePart(spans, end);
        xml_ << "  <part id=\"P" << static_cast<long long>(index + 1) << "\">\n";
        std::size_t i = 0;
        for (std::int32_t bar = 0; bar * ScoreTicksPerBar < end; ++bar) {
            xml_ << "    <measure number=\"" << bar + 1 << "\">\n";
            if (bar == 0) {
                WriteAttributes(xml_, part_);
                if (index == 0) {
                    WriteTempo(xml_, bpm);
                }
            }
            accidentals_.clear();
            const std::int32_t barEnd = (bar + 1) * ScoreTicksPerBar;
            for (; i < pieces.size() && pieces[i].start < barEnd; ++i) {
                WritePiece(pieces[i]);
            }
            xml_ << "    </measure>\n";
        }
        xml_ << "  </part>\n";
    }

private:
    void WriteDynamics(const ScoreNote& note) {
        const char* mark = DynamicsMark(note.velocity);
        if (mark == lastMark_) {
            return;
        }
        lastMark_ = mark;
        xml_ << "      <direction placement=\"below\">\n        <direction-type>\n"
                "          <dynamics><"
             << mark << "/></dynamics>\n        </direction-type>\n        <sound dynamics=\""
             << Decimal(note.velocity * 100.0 / MusicXmlForteVelocity)
             << "\"/>\n      </direction>\n";
    }

    // The accidental a note needs in its bar (key of C): always for an
    // offset in cents, else when its alteration differs from the last one
    // written on its line in this bar. A tied note carries its own on.
    std::string Accidental(const ScoreNote& note, const SpelledPitch& pitch, bool tied) {
        const int line = (pitch.octave + 1) * 7 + (pitch.step - 'A');
        auto found = std::find_if(accidentals_.begin(), accidentals_.end(),
                                  [&](const auto& a) { return a.first == line; });
        const int current = found == accidentals_.end() ? 0 : found->second;
        if (tied || (note.cents == 0 && current == pitch.hundredths)) {
            return {};
        }
        if (found == accidentals_.end()) {
            accidentals_.emplace_back(line, pitch.hundredths);
        } else {
            found->second = pitch.hundredths;
        }
        return AccidentalName(note.key, note.cents);
    }

    void WritePiece(const WrittenPiece& piece) {
        const ScoreNote* note =
            piece.note >= 0 ? &part_.notes[static_cast<std::size_t>(piece.note)] : nullptr;
        if (note != nullptr && options_.dynamics && !piece.tiedFromPrevious) {
            WriteDynamics(*note);
        }
        xml_ << "      <note";
        if (note != nullptr && options_.dynamics && !piece.tiedFromPrevious) {
            xml_ << " dynamics=\"" << Decimal(note->velocity * 100.0 / MusicXmlForteVelocity)
                 << "\"";
        }
        xml_ << ">";
        if (piece.grace) {
            xml_ << "<grace slash=\"yes\"/>";
        }
        std::string accidental;
        if (note == nullptr) {
            xml_ << (piece.wholeBarRest ? "<rest measure=\"yes\"/>" : "<rest/>");
        } else {
            const SpelledPitch pitch = SpellPitch(note->key, note->cents);
            xml_ << "<pitch><step>" << std::string_view(&pitch.step, 1) << "</step>";
            if (pitch.hundredths != 0) {
                xml_ << "<alter>" << AlterText(pitch.hundredths) << "</alter>";
            }
            xml_ << "<octave>" << pitch.octave + (octaveUp_ ? 1 : 0) << "</octave></pitch>";
            accidental = Accidental(*note, pitch, piece.tiedFromPrevious);
        }
        if (!piece.grace) {
            xml_ << "<duration>" << piece.value.ticks << "</duration>";
        }
        if (piece.tiedFromPrevious) {
            xml_ << "<tie type=\"stop\"/>";
        }
        if (piece.tiedToNext) {
            xml_ << "<tie type=\"start\"/>";
        }
        xml_ << "<voice>1</voice>";
        if (!piece.wholeBarRest) {
            xml_ << "<type>" << NoteTypeName(piece.value.type) << "</type>";
            for (int d = 0; d < piece.value.dots; ++d) {
                xml_ << "<dot/>";
            }
        }
        if (!accidental.empty()) {
            xml_ << "<accidental>" << accidental << "</accidental>";
        }
        const bool tuplet = piece.value.actual != 1;
        if (tuplet) {
            xml_ << "<time-modification><actual-notes>" << piece.value.actual
                 << "</actual-notes><normal-notes>" << piece.value.normal
                 << "</normal-notes></time-modification>";
        }
        if (piece.tiedFromPrevious || piece.tiedToNext || piece.tupletStart || piece.tupletStop) {
            xml_ << "<notations>";
            if (piece.tiedFromPrevious) {
                xml_ << "<tied type=\"stop\"/>";
            }
            if (piece.tiedToNext) {
                xml_ << "<tied type=\"start\"/>";
            }
            if (piece.tupletStart) {
                xml_ << "<tuplet type=\"start\" bracket=\"yes\"/>";
            }
            if (piece.tupletStop) {
                xml_ << "<tuplet type=\"stop\"/>";
            }
            xml_ << "</notations>";
        }
        xml_ << "</note>\n";
    }

    XmlOut& xml_;
    const ScorePart& part_;
    const ScoreOptions& options_;
    const bool octaveUp_;
    std::vector<std::pair<int, int>> accidentals_; // staff line, hundredths, in this bar
    const char* lastMark_ = nullptr;
};

} // namespace

std::vector<ScorePart> ScoreParts(const midiSong& song) {
    std::vector<ScorePart> parts;
    for (int t = 1; t < song.tracks.Count(); ++t) {
        const midiTrack& track = *song.tracks.TrackAt(t);
        ScorePart part;
        part.name = "Part " + std::to_string(t);
        bool haveChannel = false;
        int bend = PitchWheelCentre;
        for (int e = 0; e < track.Count(); ++e) {
            const anyEvent* event = track.EventAt(e);
            if (event == nullptr) {
                continue;
            }
            if (!haveChannel && event->EventChannel() >= 0) {
                part.channel = event->EventChannel();
                haveChannel = true;
            }
            switch (event->Kind()) {
            case kindTrackName:
                part.name = event->DataText();
                break;
            case kindProgramChange:
                part.program = static_cast<const ProgramChangeEvent*>(event)->program;
                break;
            case kindControlChange: {
                const auto* control = static_cast<const ControlChangeEvent*>(event);
                if (control->control == 10) {
                    part.pan = control->value;
                }
                break;
            }
            case kindPitchBend:
                bend = static_cast<const PitchBendEvent*>(event)->bend;
                break;
            case kindNoteOn: {
                const auto* on = static_cast<const NoteOnEvent*>(event);
                part.notes.push_back({on->time, std::max(on->duration, 0), on->key,
                                      CentsOfBend(bend), on->velocity});
                break;
            }
            default:
                break;
            }
        }
        std::stable_sort(part.notes.begin(), part.notes.end(),
                         [](const ScoreNote& a, const ScoreNote& b) { return a.start < b.start; });
        parts.push_back(std::move(part));
    }
    return parts;
}

double ScoreTempo(const midiSong& song) {
    if (song.tracks.Count() > 0) {
        const midiTrack& conductor = *song.tracks.TrackAt(0);
        for (int e = 0; e < conductor.Count(); ++e) {
            const anyEvent* event = conductor.EventAt(e);
            if (event != nullptr && event->Kind() == kindTempo) {
                const int tempo = static_cast<const metaEvent*>(event)->DataValue();
                if (tempo > 0) {
                    return 60000000.0 / tempo;
                }
            }
        }
    }
    return 60000000.0 / DefaultTempo;
}

void WriteMusicXml(const midiSong& song, const ScoreOptions& options, std::ostream& out) {
    if (song.tracks.Count() == 0) {
        throw UserError("Nothing has been rendered yet: press Play first.");
    }
    const std::vector<ScorePart> parts = ScoreParts(song);
    if (parts.empty()) {
        // A score lists at least one part.
        throw UserError("The song has no part to write as a score: use a part in Part Setup "
                        "and press Play.");
    }
    std::int32_t bars = 1;
    for (const ScorePart& part : parts) {
        std::vector<NoteSpan> spans;
        for (const ScoreNote& n : part.notes) {
            spans.push_back({n.start, n.length});
        }
        bars = std::max(bars, ScoreBars(spans));
    }
    XmlOut xml(out);
    WriteHeader(xml, options, parts);
    const double bpm = ScoreTempo(song);
    for (std::size_t p = 0; p < parts.size(); ++p) {
        PartWriter(xml, parts[p], options).Write(p, bars * ScoreTicksPerBar, bpm);
    }
    xml << "</score-partwise>\n";
    xml.Flush();
}

void WriteMxl(const midiSong& song, const ScoreOptions& options, std::ostream& out) {
    if (song.tracks.Count() == 0) {
        throw UserError("Nothing has been rendered yet: press Play first.");
    }
    const std::string container =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<container>\n  <rootfiles>\n    <rootfile full-path=\"") +
        ScoreEntryName +
        "\" media-type=\"application/vnd.recordare.musicxml+xml\"/>\n"
        "  </rootfiles>\n</container>\n";
    StoredZip zip(out);
    zip.Add("mimetype", "application/vnd.recordare.musicxml");
    zip.Add("META-INF/container.xml", container);
    zip.AddStreamed(ScoreEntryName,
                    [&](std::ostream& entry) { WriteMusicXml(song, options, entry); });
    zip.Finish();
}

bool IsMxlName(const std::string& fileName) {
    if (fileName.size() < 4) {
        return false;
    }
    std::string tail = fileName.substr(fileName.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".mxl";
}

} // namespace sorvelin
