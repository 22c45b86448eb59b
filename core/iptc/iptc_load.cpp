// The IPTC reader as a part of the EXIF reader: how the section reader makes one, and
// TIPTCdata::LoadImageFile, the one operation that reads a file, through that section reader.
#include <memory>

#include "core/exif/jpeg_sections.h"
#include "core/iptc/iptc_data.h"

namespace veltrane::exif {

IptcReaderPtr NewIptcReader(TimgData& owner) {
    return IptcReaderPtr(new TIPTCdata(&owner), {[](TIPTCdata* reader) { delete reader; }});
}

bool TIPTCdata::LoadImageFile(const std::string& fileName) {
    ClearDatasets();
    if (OwnerData == nullptr) return false;
    TimgData& owner = *OwnerData;
    // OpenFile discards the owner's IptcInfo and creates a new one for the file's APP13
    // section. When that IptcInfo is this object, keep it alive across the read and hand it
    // back to the owner afterwards, in place of the new one: the caller's pointer stays valid
    // and holds the datasets of the named file.
    struct HandBack {
        TimgData& owner;
        IptcReaderPtr self;
        ~HandBack() {
            if (self) owner.IptcInfo = std::move(self);
        }
    } handBack{owner, owner.IptcInfo.get() == this ? std::move(owner.IptcInfo) : nullptr};
    owner.OpenFile(fileName);
    if (owner.IptcSection != nullptr) ParseIptcData(owner.IptcSection->SectionBytes);
    return HasDatasets();
}

}  // namespace veltrane::exif
