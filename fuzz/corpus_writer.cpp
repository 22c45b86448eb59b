// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzz targets' seed corpus: veltrane-fuzz-corpus [FOLDER]
// (FOLDER defaults to fuzz/corpus of the source tree). One folder per target, and README.md with
// the sentence of every file.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "fuzz/corpus_files.h"
#include "fuzz/heif_corpus_files.h"
#include "fuzz/mpf_corpus_files.h"
#include "fuzz/parts_corpus_files.h"
#include "fuzz/repair_corpus_files.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path(VELTRANE_SOURCE_DIR) / "fuzz" / "corpus";
    std::map<std::string, std::string> readme;
    auto files = veltrane::fuzzcorpus::CorpusFiles();
    for (auto& file : veltrane::fuzzcorpus::MpfCorpusFiles()) files.push_back(std::move(file));
    for (auto& file : veltrane::fuzzcorpus::HeifCorpusFiles()) files.push_back(std::move(file));
    for (auto& file : veltrane::fuzzcorpus::RepairCorpusFiles()) files.push_back(std::move(file));
    for (auto& file : veltrane::fuzzcorpus::PartsCorpusFiles()) files.push_back(std::move(file));
    for (const auto& file : files) {
        const fs::path folder = root / file.Target;
        fs::create_directories(folder);
        if (!veltrane::samples::WriteFile((folder / file.Name).string(), file.Content)) {
            std::cerr << "veltrane-fuzz-corpus: cannot write " << (folder / file.Name).string() << "\n";
            return 1;
        }
        readme[file.Target] += "- `" + file.Name + "`: " + file.What + "\n";
    }
    std::ofstream out(root / "README.md", std::ios::trunc);
    out << "# Seed corpus of the fuzz targets\n\n"
           "Written by `veltrane-fuzz-corpus` from fuzz/corpus_files.h; do not edit by hand. Each target\n"
           "reads the files of its folder; scripts/fuzz.sh copies them to a temporary folder first.\n"
           "The makernote_* files and the iptc_fuzz folder come from fuzz/make_makernote_seeds.py,\n"
           "whose functions carry their sentences.\n";
    for (const auto& [target, lines] : readme) out << "\n## " << target << "\n\n" << lines;
    return out ? 0 : 1;
}
