// plover info FILE...: what each picture is (format, width x height, bits per pixel), or why it
// cannot be decoded. The format comes from the file's content, whatever its name. Exits 0 only
// when every file could be decoded.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/json_lines.h"
#include "cli/cli_kit.h"
#include "cli/command.h"
#include "cli/image_batch.h"
#include "image/image_loader.h"

namespace plover::cli {
namespace {

void RunInfo(CliContext& ctx, const std::vector<std::string>& files, bool json) {
    bool allDecoded = true;
    bool accepted = LoadEachImage(files, nullptr, 2, [&](size_t i, CBRImage& image) {
        if (!image.IsLoaded()) allDecoded = false;
        if (json) {
            nlohmann::json item = {{"type", "image"}, {"file", files[i]}, {"decoded", image.IsLoaded()}};
            if (image.IsLoaded()) {
                item["format"] = ImageFormatName(image.GetFormat());
                item["width"] = image.GetSourceWidth();
                item["height"] = image.GetSourceHeight();
                item["bitDepth"] = image.GetBitDepth();
            } else {
                item["error"] = image.GetError();
            }
            WriteJsonLine(std::cout, item);  // a file name need not be UTF-8: replaced, never refused
            return;
        }
        if (image.IsLoaded())
            std::cout << files[i] << ": " << ImageFormatName(image.GetFormat()) << ", " << image.GetSourceWidth() << "x"
                      << image.GetSourceHeight() << ", " << image.GetBitDepth() << " bits per pixel\n";
        else
            std::cout << files[i] << ": cannot decode: " << image.GetError() << "\n";
    });
    NImageLoader::Shutdown();
    if (!accepted) Complain() << "the image loader has stopped\n";
    ctx.exitCode = accepted && allDecoded ? 0 : 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto files = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("info", "Show the format, size and bit depth of picture files");
    cmd->add_option("FILE", *files, "Picture files (JPEG, PNG, TIFF, BMP, GIF, TGA, PCX, WebP, AVIF)")->required();
    cmd->add_flag("--json", *json, "One JSON line a file");
    cmd->callback([&ctx, files, json] { RunInfo(ctx, *files, *json); });
}

CommandRegistrar registrar("info", Setup);

}  // namespace
}  // namespace plover::cli
