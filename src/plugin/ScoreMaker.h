#pragma once
// The plugin's worker half: it keeps the song (its file's own text), renders
// it through the same load-and-render pipeline as sorvelin-render with what
// the host's controls ask, and turns the render into a Score. Never called on
// the audio thread.
#include "compose/SongActions.h"
#include "plugin/Score.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin::plugin {

class ScoreMaker {
public:
    // `dataDirs`: data folders to look in after those the program looks in
    // (the one installed beside the plugin).
    explicit ScoreMaker(std::vector<std::filesystem::path> dataDirs = {});

    // Reads and loads a song file, or a song file's text kept by the host's
    // session (`file` then says where it was, for its tables). False, with
    // the reason in `messages`, when it does not load; the song before stays.
    bool Load(const std::filesystem::path& file, std::vector<std::string>& messages);
    bool Restore(const std::string& text, const std::filesystem::path& file,
                 std::vector<std::string>& messages);

    bool HasSong() const { return loaded_.has_value(); }
    const std::string& Text() const { return text_; }
    const std::filesystem::path& File() const { return file_; }

    // The song with `controls` applied; null when there is no song or the
    // render fails (the reason in `messages`).
    std::unique_ptr<Score> Render(const ScoreControls& controls,
                                  std::vector<std::string>& messages);

    // Where tables and Scala scales are looked for with a song in `songDir`.
    std::vector<std::filesystem::path> TableDirs(const std::filesystem::path& songDir) const;
    std::vector<std::filesystem::path> ScalaDirs(const std::filesystem::path& songDir) const;

private:
    bool Adopt(const std::string& text, const std::filesystem::path& file,
               std::vector<std::string>& messages);
    const SongState& Shifted(const ScoreControls& controls);

    std::vector<std::filesystem::path> dataDirs_;
    std::string text_;
    std::filesystem::path file_;
    std::optional<SongState> loaded_;
    // The last song sampled again for other shift sliders: sampling is the
    // slow part of a render, and automation moves one control at a time.
    struct ShiftedState {
        int dx = 0;
        int dy = 0;
        SongState state;
    };
    std::optional<ShiftedState> shifted_;
};

// The Score of Play's playback track of `song` (already rendered).
std::unique_ptr<Score> ScoreOf(RenderedSong& song, int tempoBpm);

} // namespace sorvelin::plugin
