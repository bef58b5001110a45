#pragma once
// A reader of the MusicXML scores the program writes, independent of the
// writer: a small XML parser, then each part's notes with their keys, cents,
// onsets and lengths in ticks (tied notes joined), and the faults a notation
// program's importer would report: a type, dots and tuplet that do not make
// the duration, a bar that is not 4/4 long, a tuplet group that does not
// fill its span, a tie without its other end.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sorvelin::check {

struct XmlNode {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<std::unique_ptr<XmlNode>> children;

    const XmlNode* Child(const std::string& n) const {
        for (const auto& c : children) {
            if (c->name == n) {
                return c.get();
            }
        }
        return nullptr;
    }
    std::vector<const XmlNode*> All(const std::string& n) const {
        std::vector<const XmlNode*> found;
        for (const auto& c : children) {
            if (c->name == n) {
                found.push_back(c.get());
            }
        }
        return found;
    }
    std::string Text(const std::string& n) const {
        const XmlNode* c = Child(n);
        return c ? c->text : std::string();
    }
};

// Parses a whole document; std::runtime_error when it is not well formed.
inline std::unique_ptr<XmlNode> ParseXml(const std::string& s) {
    std::size_t p = 0;
    auto fail = [&](const std::string& why) {
        throw std::runtime_error("XML at byte " + std::to_string(p) + ": " + why);
    };
    auto unescape = [&](const std::string& raw) {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                if (raw[i] == '<') {
                    fail("'<' in text");
                }
                out += raw[i];
                continue;
            }
            const std::size_t semi = raw.find(';', i);
            if (semi == std::string::npos) {
                fail("unterminated entity");
            }
            const std::string e = raw.substr(i + 1, semi - i - 1);
            static const std::map<std::string, std::string> entities{
                {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
            auto found = entities.find(e);
            if (found == entities.end()) {
                fail("unknown entity &" + e + ";");
            }
            out += found->second;
            i = semi;
        }
        return out;
    };
    auto skipMarkup = [&] {
        for (;;) {
            while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) {
                ++p;
            }
            if (s.compare(p, 2, "<?") == 0) {
                p = s.find("?>", p) + 2;
            } else if (s.compare(p, 4, "<!--") == 0) {
                p = s.find("-->", p) + 3;
            } else if (s.compare(p, 2, "<!") == 0) {
                p = s.find('>', p) + 1;
            } else {
                return;
            }
            if (p < 2) {
                fail("unterminated markup");
            }
        }
    };
    auto name = [&] {
        const std::size_t from = p;
        while (p < s.size() && (std::isalnum(static_cast<unsigned char>(s[p])) || s[p] == '-' ||
                                s[p] == '_' || s[p] == ':' || s[p] == '.')) {
            ++p;
        }
        if (p == from) {
            fail("a name expected");
        }
        return s.substr(from, p - from);
    };
    std::vector<XmlNode*> open;
    std::unique_ptr<XmlNode> root;
    skipMarkup();
    do {
        if (p >= s.size()) {
            fail("the document ends inside an element");
        }
        if (s[p] != '<') {
            const std::size_t lt = s.find('<', p);
            if (lt == std::string::npos || open.empty()) {
                fail("text outside the root");
            }
            open.back()->text += unescape(s.substr(p, lt - p));
            p = lt;
        } else if (s.compare(p, 4, "<!--") == 0) {
            p = s.find("-->", p) + 3;
        } else if (s.compare(p, 2, "</") == 0) {
            p += 2;
            if (open.empty() || name() != open.back()->name) {
                fail("a closing tag that does not match");
            }
            p = s.find('>', p) + 1;
            open.pop_back();
        } else {
            ++p;
            auto node = std::make_unique<XmlNode>();
            node->name = name();
            for (;;) {
                while (std::isspace(static_cast<unsigned char>(s[p]))) {
                    ++p;
                }
                if (s[p] == '/' || s[p] == '>') {
                    break;
                }
                const std::string key = name();
                if (s[p] != '=' || (s[p + 1] != '"' && s[p + 1] != '\'')) {
                    fail("attribute without a quoted value");
                }
                const std::size_t close = s.find(s[p + 1], p + 2);
                node->attributes[key] = unescape(s.substr(p + 2, close - p - 2));
                p = close + 1;
            }
            const bool empty = s[p] == '/';
            p += empty ? 2 : 1;
            XmlNode* raw = node.get();
            if (open.empty()) {
                if (root) {
                    fail("a second root");
                }
                root = std::move(node);
            } else {
                open.back()->children.push_back(std::move(node));
            }
            if (!empty) {
                open.push_back(raw);
            }
        }
    } while (!open.empty());
    skipMarkup();
    if (p != s.size()) {
        fail("content after the root");
    }
    return root;
}

struct ReadNote {
    int key = 0;
    int cents = 0;
    std::int64_t start = 0;
    std::int64_t length = 0;
    bool operator==(const ReadNote&) const = default;
};

struct ReadPart {
    std::string name, instrument;
    int channel = 0, program = 0; // as written: 1-16, 1-128
    std::string pan;
    std::vector<ReadNote> notes;
    int dynamicsMarks = 0;
};

struct ReadScore {
    std::string title;
    std::string tempo; // the sound element's
    std::vector<ReadPart> parts;
    std::vector<std::string> faults;
};

// Hundredths of a decimal text such as "-1.5"; -1000000 when it has more.
inline int Hundredths(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    const std::size_t dot = digits.find('.');
    const std::string whole = digits.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : digits.substr(dot + 1);
    if (whole.empty() || fraction.size() > 2) {
        return -1000000;
    }
    fraction.resize(2, '0');
    const int value = std::stoi(whole) * 100 + std::stoi(fraction);
    return negative ? -value : value;
}

inline ReadScore ReadMusicXml(const std::string& document) {
    const std::unique_ptr<XmlNode> root = ParseXml(document);
    ReadScore score;
    auto fault = [&](const std::string& f) { score.faults.push_back(f); };
    if (root->name != "score-partwise" || root->attributes["version"] != "4.0") {
        fault("not a MusicXML 4.0 score-partwise");
    }
    if (const XmlNode* work = root->Child("work")) {
        score.title = work->Text("work-title");
    }
    std::map<std::string, ReadPart> listed;
    std::vector<std::string> order;
    if (const XmlNode* list = root->Child("part-list")) {
        for (const XmlNode* sp : list->All("score-part")) {
            ReadPart& part = listed[sp->attributes.at("id")];
            order.push_back(sp->attributes.at("id"));
            part.name = sp->Text("part-name");
            if (const XmlNode* si = sp->Child("score-instrument")) {
                part.instrument = si->Text("instrument-name");
            }
            if (const XmlNode* mi = sp->Child("midi-instrument")) {
                part.channel = std::stoi(mi->Text("midi-channel"));
                part.program = std::stoi(mi->Text("midi-program"));
                part.pan = mi->Text("pan");
            }
        }
    }
    static const std::map<char, int> steps{{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                           {'G', 7}, {'A', 9}, {'B', 11}};
    static const std::vector<std::string> types{"whole", "half", "quarter", "eighth", "16th",
                                                "32nd",  "64th", "128th",   "256th"};
    std::size_t partIndex = 0;
    for (const XmlNode* xmlPart : root->All("part")) {
        const std::string id = xmlPart->attributes.at("id");
        if (partIndex >= order.size() || order[partIndex++] != id) {
            fault("part " + id + " out of the part list's order");
        }
        ReadPart part = listed[id];
        int divisions = 0, octaveChange = 0;
        std::int64_t at = 0;                             // in ticks
        std::map<std::pair<int, int>, std::size_t> tied; // key, cents -> open note
        std::int64_t tupletFrom = -1;
        for (const XmlNode* measure : xmlPart->All("measure")) {
            const std::int64_t barStart = at;
            for (const auto& child : measure->children) {
                const XmlNode& e = *child;
                if (e.name == "attributes") {
                    if (!e.Text("divisions").empty()) {
                        divisions = std::stoi(e.Text("divisions"));
                    }
                    if (const XmlNode* t = e.Child("transpose")) {
                        octaveChange = std::stoi(t->Text("octave-change"));
                    }
                } else if (e.name == "direction") {
                    if (const XmlNode* sound = e.Child("sound");
                        sound && sound->attributes.count("tempo")) {
                        score.tempo = sound->attributes.at("tempo");
                    }
                    const XmlNode* type = e.Child("direction-type");
                    part.dynamicsMarks += type && type->Child("dynamics") ? 1 : 0;
                } else if (e.name == "note") {
                    if (divisions <= 0) {
                        fault("a note before the divisions");
                        continue;
                    }
                    const bool grace = e.Child("grace") != nullptr;
                    const std::int64_t ticks =
                        grace ? 0 : std::stoll(e.Text("duration")) * 120 / divisions;
                    const XmlNode* modification = e.Child("time-modification");
                    const int actual =
                        modification ? std::stoi(modification->Text("actual-notes")) : 1;
                    const int normal =
                        modification ? std::stoi(modification->Text("normal-notes")) : 1;
                    const XmlNode* rest = e.Child("rest");
                    const bool wholeBar = rest && rest->attributes.count("measure");
                    if (!grace && !wholeBar) {
                        std::size_t type = 0;
                        while (type < types.size() && types[type] != e.Text("type")) {
                            ++type;
                        }
                        const std::int64_t dots = static_cast<std::int64_t>(e.All("dot").size());
                        const std::int64_t num = 480 * (2 + dots) * normal;
                        const std::int64_t den = (std::int64_t{2} << type) * actual;
                        if (type == types.size() || num != ticks * den) {
                            fault("a note of " + std::to_string(ticks) + " ticks written as " +
                                  e.Text("type") + " with " + std::to_string(dots) + " dots, " +
                                  std::to_string(actual) + ":" + std::to_string(normal));
                        }
                    }
                    bool tupletStart = false, tupletStop = false;
                    bool tieStart = false, tieStop = false;
                    for (const XmlNode* tie : e.All("tie")) {
                        tieStart |= tie->attributes.at("type") == "start";
                        tieStop |= tie->attributes.at("type") == "stop";
                    }
                    if (const XmlNode* notations = e.Child("notations")) {
                        for (const XmlNode* t : notations->All("tuplet")) {
                            tupletStart |= t->attributes.at("type") == "start";
                            tupletStop |= t->attributes.at("type") == "stop";
                        }
                    }
                    if (tupletStart) {
                        if (tupletFrom >= 0) {
                            fault("a tuplet inside a tuplet");
                        }
                        tupletFrom = at;
                    }
                    if (!grace && (modification != nullptr) != (tupletFrom >= 0)) {
                        fault("a time modification outside a tuplet group, or a plain note in one");
                    }
                    if (const XmlNode* pitch = e.Child("pitch")) {
                        const int hundredths =
                            pitch->Child("alter") ? Hundredths(pitch->Text("alter")) : 0;
                        const std::string accidental = e.Text("accidental");
                        int base = (hundredths + (hundredths < 0 ? -50 : 50)) / 100;
                        if (accidental.rfind("sharp", 0) == 0) {
                            base = 1;
                        } else if (accidental.rfind("flat", 0) == 0) {
                            base = -1;
                        } else if (accidental.rfind("natural", 0) == 0) {
                            base = 0;
                        }
                        const int key = steps.at(pitch->Text("step")[0]) +
                                        12 * (std::stoi(pitch->Text("octave")) + 1 + octaveChange) +
                                        base;
                        const int cents = hundredths - 100 * base;
                        auto open = tied.end();
                        if (tieStop) {
                            open = tied.begin();
                            while (open != tied.end() && part.notes[open->second].start +
                                                                 part.notes[open->second].length !=
                                                             at) {
                                ++open;
                            }
                            if (open == tied.end()) {
                                fault("a tie's end without its start");
                            }
                        }
                        if (open != tied.end()) {
                            part.notes[open->second].length += ticks;
                            if (!tieStart) {
                                tied.erase(open);
                            }
                        } else {
                            part.notes.push_back({key, cents, at, ticks});
                            if (tieStart) {
                                tied[{key, cents}] = part.notes.size() - 1;
                            }
                        }
                    } else if (!rest) {
                        fault("a note with neither pitch nor rest");
                    }
                    at += ticks;
                    if (tupletStop) {
                        // One of the `normal` notes the group stands for must be a note
                        // value: a whole note halved some times.
                        const std::int64_t span = at - tupletFrom;
                        const std::int64_t unit = span % normal == 0 ? span / normal : 0;
                        if (tupletFrom < 0 || unit <= 0 || 1920 % unit != 0 ||
                            ((1920 / unit) & (1920 / unit - 1)) != 0) {
                            fault("a tuplet group that does not fill its span");
                        }
                        tupletFrom = -1;
                    }
                } else if (e.name == "backup" || e.name == "forward") {
                    fault("a second voice, which this program never writes");
                }
            }
            if (at - barStart != 480) {
                fault("bar " + measure->attributes.at("number") + " lasts " +
                      std::to_string(at - barStart) + " ticks");
            }
        }
        if (!tied.empty()) {
            fault("a tie that does not end");
        }
        score.parts.push_back(std::move(part));
    }
    if (score.parts.size() != order.size()) {
        fault("the part list and the parts differ");
    }
    return score;
}

} // namespace sorvelin::check
