#pragma once
// IPTC datasets of a JPEG file's APP13 section (placeholder: holds nothing yet).
namespace veltrane::exif {

class TimgData;

class TIPTCdata {
public:
    explicit TIPTCdata(TimgData* owner) : OwnerData(owner) {}
    virtual ~TIPTCdata() = default;

    TimgData* OwnerData;
};

}  // namespace veltrane::exif
