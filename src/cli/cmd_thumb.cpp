// plover thumb FILE... --size WxH --out DIR: a PNG thumbnail of each picture, fitted into the
// size box with the loader's fitting rule (a picture that already fits keeps its size). Each
// thumbnail is DIR/NAME.png after the picture's name without its extension; names that meet
// twice in one run get "-2", "-3"... A thumbnail never replaces the picture it was made from.
// Exits 0 only when every thumbnail was written.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/cli_kit.h"
#include "cli/command.h"
#include "cli/image_batch.h"
#include "cli/terminal.h"
#include "image/image_loader.h"
#include "image/png_writer.h"

namespace plover::cli {
namespace {

namespace fs = std::filesystem;

struct SThumbOptions {
    std::vector<std::string> files;
    std::string size = "200x200";
    std::string out;
    bool json = false;
};

// "WxH" with both sides from 1 to 65535.
bool ParseSize(const std::string& text, SSize& size) {
    unsigned w = 0, h = 0;
    char x = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X')) return false;
    if (w < 1 || h < 1 || w > 65535 || h > 65535) return false;
    size = {w, h};
    return true;
}

// DIR/stem.png, or DIR/stem-N.png when this run already used that name.
std::string ThumbPath(const fs::path& dir, const std::string& file, std::set<std::string>& used) {
    std::string stem = fs::path(file).stem().string();
    if (stem.empty()) stem = "picture";
    std::string name = stem + ".png";
    for (int n = 2; used.count(name); ++n) name = stem + "-" + std::to_string(n) + ".png";
    used.insert(name);
    return (dir / name).string();
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

void RunThumb(CliContext& ctx, const SThumbOptions& o) {
    SSize box;
    if (!ParseSize(o.size, box))
        return void(ctx.exitCode = Refuse(kExitUsage, "--size must be WxH with two numbers from 1 to 65535, e.g. 200x200"));
    std::error_code ec;
    fs::create_directories(o.out, ec);
    if (!fs::is_directory(o.out))
        return void(ctx.exitCode = Refuse(kExitFailed, "cannot use " + o.out + " as the output folder" +
                                                           (ec ? ": " + ec.message() : std::string())));
    // On a terminal the file at work is a progress line; elsewhere each result is a line.
    CProgressLine progress(STDOUT_FILENO);
    const bool live = progress.Live() && !o.json;
    std::set<std::string> used;
    nlohmann::json list = nlohmann::json::array();
    size_t written = 0;
    bool accepted = LoadEachImage(o.files, &box, 8, [&](size_t i, CBRImage& image) {
        const std::string& file = o.files[i];
        std::string target = ThumbPath(o.out, file, used), error;
        bool ok = image.IsLoaded();
        if (!ok) error = "cannot decode: " + image.GetError();
        else if (SameFile(file, target)) ok = false, error = "the thumbnail would replace the picture itself";
        else ok = WritePngFile(image.GetBitmap(), target, error);
        written += ok;
        if (o.json) {
            nlohmann::json item = {{"file", file}, {"ok", ok}};
            if (ok) item["thumbnail"] = target, item["width"] = image.GetWidth(), item["height"] = image.GetHeight();
            else item["error"] = error;
            list.push_back(item);
        } else if (live) {
            progress.Show("[" + std::to_string(i + 1) + "/" + std::to_string(o.files.size()) + "] " + file);
            if (!ok) {
                progress.Clear();
                std::cout << file << ": " << error << "\n";
            }
        } else if (ok) {
            std::cout << file << " -> " << target << " (" << image.GetWidth() << "x" << image.GetHeight() << ")\n";
        } else {
            std::cout << file << ": " << error << "\n";
        }
    });
    NImageLoader::Shutdown();
    if (o.json) std::cout << list.dump(2) << "\n";
    progress.Clear();
    if (live) std::cout << written << " of " << o.files.size() << " thumbnails written to " << o.out << "\n";
    if (!accepted) Complain() << "the image loader has stopped\n";
    ctx.exitCode = accepted && written == o.files.size() ? 0 : 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<SThumbOptions>();
    auto* cmd = app.add_subcommand("thumb", "Write PNG thumbnails of picture files, fitted into a size box");
    cmd->add_option("FILE", o->files, "Picture files (JPEG, PNG, TIFF, BMP, GIF, TGA, PCX, WebP, AVIF)")->required();
    cmd->add_option("--size", o->size, "The size box, WxH (default 200x200)")->type_name("WxH");
    cmd->add_option("--out", o->out, "Folder for the thumbnails (created when missing)")->required()->type_name("DIR");
    cmd->add_flag("--json", o->json, "One JSON array, an object per file");
    cmd->callback([&ctx, o] { RunThumb(ctx, *o); });
}

CommandRegistrar registrar("thumb", Setup);

}  // namespace
}  // namespace plover::cli
