// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/metadata_files.h"

#include <ostream>
#include <unordered_map>

#include "core/cli/command_line.h"
#include "core/common/native_path.h"

namespace veltrane {
namespace {

bool IsAllDigits(std::string_view word) {
    if (word.empty()) return false;
    for (const char c : word)
        if (c < '0' || c > '9') return false;
    return true;
}

bool UsageError(std::ostream& err, const std::string& message) {
    err << "veltrane: " << message << "\nTry 'veltrane --help'.\n";
    return false;
}

}  // namespace

int ParseImageNumber(std::string_view word) {
    if (!IsAllDigits(word) || word.size() > 6) return 0;
    int n = 0;
    for (const char c : word) n = n * 10 + (c - '0');
    return n;
}

MetadataWords MetadataWordsOf(const CommandLineOptions& options) {
    MetadataWords words;
    words.Json = options.json;
    words.ImageNumber = options.imageNumber;
    return words;
}

bool ParseMetadataWords(const char* option, const std::vector<std::string>& args, bool takesImageNumber,
                        MetadataWords& words, std::ostream& err) {
    const std::string name = option;
    if (words.ImageNumber > 0 && !takesImageNumber) return UsageError(err, name + " takes no image number");
    std::size_t plainNames = 0;  // file names given before any "--" or list
    bool onlyPlainNames = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            onlyPlainNames = false;
            for (++i; i < args.size(); ++i) words.Files.push_back({args[i], false});
            break;
        }
        if (word == "--json") {
            words.Json = true;
        } else if (word == "--image" && !takesImageNumber) {
            return UsageError(err, name + " takes no image number");
        } else if (word == "--image") {
            if (i + 1 >= args.size()) return UsageError(err, name + ": --image needs an image number");
            words.ImageNumber = ParseImageNumber(args[++i]);
            if (words.ImageNumber < 1)
                return UsageError(err, name + ": '" + args[i] + "' is not an image number");
        } else if (word == "-@") {
            if (i + 1 >= args.size()) return UsageError(err, name + ": -@ needs a file that lists file names");
            words.Files.push_back({args[++i], true});
            onlyPlainNames = false;
        } else {
            words.Files.push_back({word, false});
            ++plainNames;
        }
    }
    if (words.Files.empty()) {
        return UsageError(err, takesImageNumber ? name + " takes a file and an optional image number"
                                                : name + " takes one file");
    }
    // The older form FILE N: a number after the one file. A number after several files is
    // refused rather than read as a file name, since it was most likely meant as an image
    // number; and of two words the second must be a number when it names no file.
    if (takesImageNumber && onlyPlainNames && words.ImageNumber == 0 && plainNames >= 2) {
        const std::string& last = words.Files.back().Text;
        if (IsAllDigits(last)) {
            if (plainNames > 2)
                return UsageError(err, name + ": an image number follows one file only (for several use --image N)");
            words.ImageNumber = ParseImageNumber(last);
            if (words.ImageNumber < 1) return UsageError(err, name + ": '" + last + "' is not an image number");
            words.Files.pop_back();
        } else if (plainNames == 2 && !IsExistingFile(last)) {
            return UsageError(err, name + ": '" + last + "' is neither an image number nor a file");
        }
    }
    return true;
}

FileOutput::FileOutput(std::string path, std::unique_ptr<RecordWriter> record)
    : path_(std::move(path)), record_(std::move(record)) {
    if (record_) {
        record_->BeginObject();
        record_->Member("SourceFile", path_);
    }
}

void FileOutput::Notice(std::string_view line) {
    err_ += line;
    err_ += '\n';
}

void FileOutput::Fail(std::string_view cause) {
    failed_ = true;
    err_ += "veltrane: ";
    err_ += path_;
    err_ += ": ";
    err_ += cause;
    err_ += '\n';
    if (record_) record_->Member("Error", cause);
}

FileReport FileOutput::Finish() {
    FileReport report;
    if (record_) {
        record_->EndObject();
        report.Out = record_->TakeText();
    } else {
        report.Out = std::move(text_);
    }
    report.Err = std::move(err_);
    report.Failed = failed_;
    return report;
}

int RunMetadataFiles(const MetadataWords& words, const CommandLineServices& services, std::ostream& out,
                     std::ostream& err, const FileReader& read) {
    if (words.Json && !services.NewRecordWriter) {
        err << "veltrane: --json is not available in this build\n";
        return kExitFailure;
    }
    const bool json = words.Json;
    const FileJob job = [&](const std::string& path) {
        FileOutput output(path, json ? services.NewRecordWriter() : nullptr);
        read(output);
        return output.Finish();
    };
    bool first = true;
    const FileReportSink sink = [&](const std::string& path, bool several, FileReport& report) {
        if (json) {
            out << (first ? "[" : ",\n") << report.Out;
        } else {
            if (several) out << "======== " << path << "\n";
            out << report.Out;
        }
        first = false;
        if (!report.Err.empty()) {
            out.flush();  // the lines of stdout and stderr in the order they belong to
            err << report.Err;
        }
    };
    FileNameSource names(words.Files);
    const std::size_t failed = RunFileJobs(names, job, sink);
    if (json) out << (first ? "[]\n" : "]\n");
    bool ok = failed == 0;
    if (!names.Error().empty()) {
        out.flush();
        err << names.Error() << "\n";
        ok = false;
    }
    return ok && out ? kExitOk : kExitFailure;
}

void WriteNamedValues(RecordWriter& record, std::span<const NamedValue> values) {
    // The values of each name, the names in the order they first come.
    std::unordered_map<std::string_view, std::size_t> memberOfName;
    std::vector<std::vector<std::string_view>> members;
    std::vector<std::string_view> names;
    memberOfName.reserve(values.size());
    for (const auto& [name, value] : values) {
        const auto [it, isNew] = memberOfName.try_emplace(name, members.size());
        if (isNew) {
            names.push_back(name);
            members.emplace_back();
        }
        members[it->second].push_back(value);
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        record.Key(names[i]);
        if (members[i].size() == 1) {
            record.String(members[i].front());
            continue;
        }
        record.BeginArray();
        for (const std::string_view value : members[i]) record.String(value);
        record.EndArray();
    }
}

}  // namespace veltrane
