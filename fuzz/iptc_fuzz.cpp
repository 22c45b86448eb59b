// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as the APP13 section bytes of the IPTC reader, then the
// name operations over whatever it stored.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/iptc/iptc_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    veltrane::exif::IptcRecords iptc;
    iptc.Parse(bytes);

    // Merge stored values into the keyword list, look their names up, then remove datasets
    // from the front: the list must stay consistent whatever the values hold. Each merge
    // re-reads the whole list and each removal moves the rest, so only 64 of each are done.
    const int count = iptc.DatasetCount();
    for (int i = 0; i < count && i < 64; ++i) {
        const auto entry = iptc.DatasetAt(i);
        iptc.StoreDataset("Keywords", entry.DisplayText);
        (void)iptc.DatasetText(entry.TagName, "");
    }
    const int stored = iptc.DatasetCount();
    const int removals = stored < 64 ? stored : 64;
    for (int i = 0; i < removals; ++i) iptc.RemoveDataset(iptc.DatasetAt(0).TagName);
    if (iptc.DatasetCount() != stored - removals) __builtin_trap();
    (void)veltrane::exif::MergeCommaList(bytes.substr(0, size / 2), bytes.substr(size / 2));
    return 0;
}
