#pragma once
// Maker-note decoding (placeholder: recognises no maker yet).
namespace veltrane::exif {

class TImageInfo;

class TmsInfo {
public:
    TmsInfo(bool tiffMode, TImageInfo* target) : TiffMode(tiffMode), TargetInfo(target) {}
    // True when the camera make matched one of the known makers.
    bool DecodeMakerNote();

    bool TiffMode;
    TImageInfo* TargetInfo;
};

}  // namespace veltrane::exif
