// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the metadata commands (--exif, --info, --tags, --iptc, --list, --mpf) share: their words,
// one file's output in text or as a record, and the run over all their files.
//
//   veltrane --tags [--json] [--image N] [-@ LIST] [--] FILE...
//
// Text: each file's block as the command prints it, headed "======== FILE" when the command
// reads more than one file. JSON (--json): one array of one object per file, its first member
// "SourceFile" (the name as given), then the command's members, or "Error" when the file
// failed. Either way a failing file prints "veltrane: FILE: cause" on stderr, the others go on,
// and the exit status is 1 when any failed.
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/cli/file_batch.h"
#include "core/common/record_writer.h"

namespace veltrane {

struct CommandLineOptions;
struct CommandLineServices;

struct MetadataWords {
    std::vector<FileNameWord> Files;
    int ImageNumber = 0;  // --image N, or the N of the older form FILE N; 0 when none is given
    bool Json = false;
};

// The words that --json and --image N before the command set.
MetadataWords MetadataWordsOf(const CommandLineOptions& options);

// Reads the words after option, words holding what the words before it set (--json, --image N):
//   --json        the output is JSON
//   --image N     image N of every .mpo file (only where takesImageNumber)
//   -@ LIST       the files named in LIST, one a line ("-": standard input)
//   --            every word after it is a file name
// and file names. Where takesImageNumber, the older form FILE N (exactly two words, the second
// all digits) still reads image N of FILE; a number after more files is refused (--image N is
// their form), and so is a second word that is neither a number nor an existing file. A wrong
// word prints the reason on err and returns false (exit status 2).
bool ParseMetadataWords(const char* option, const std::vector<std::string>& args, bool takesImageNumber,
                        MetadataWords& words, std::ostream& err);

// One file's part of the output. In record form it is an object that starts with the member
// "SourceFile"; the command adds its members through Record().
class FileOutput {
public:
    FileOutput(std::string path, std::unique_ptr<RecordWriter> record);

    const std::string& Path() const { return path_; }
    // The file's record, or null when the output is text.
    RecordWriter* Record() const { return record_.get(); }
    // The file's text block (text form).
    std::string& Text() { return text_; }
    // A line for stderr (a notice that does not fail the file); "\n" is added.
    void Notice(std::string_view line);
    // The file failed: "veltrane: PATH: cause" on stderr and, in record form, "Error": cause.
    void Fail(std::string_view cause);
    bool Failed() const { return failed_; }

    FileReport Finish();

private:
    std::string path_;
    std::unique_ptr<RecordWriter> record_;
    std::string text_, err_;
    bool failed_ = false;
};

using FileReader = std::function<void(FileOutput& output)>;

// A positive decimal image number of at most six digits, or 0 when the word is none.
int ParseImageNumber(std::string_view word);

// Runs read for every file of words (in parallel when there are several) and prints the
// output in the order of the files: text blocks, or the JSON array. Returns the exit status.
int RunMetadataFiles(const MetadataWords& words, const CommandLineServices& services, std::ostream& out,
                     std::ostream& err, const FileReader& read);

// A name and its value, as a command prints them on one line.
using NamedValue = std::pair<std::string_view, std::string_view>;

// Writes values as members of the open object of record, in their order; a name that comes
// again gives no second member: the member's value is then the array of all its values, in
// their order (a JSON object's names must be unique).
void WriteNamedValues(RecordWriter& record, std::span<const NamedValue> values);

}  // namespace veltrane
