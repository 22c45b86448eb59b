// SPDX-License-Identifier: GPL-3.0-or-later
// The cameras of a spatial photo on files built box by box: both forms of the properties read
// (and printed by --info), the bytes the writer builds, and the properties set in files of every
// iloc layout with the coded data left as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/cli/command_line.h"
#include "core/heif_boxes/box_cursor.h"
#include "core/heif_boxes/stereo_camera.h"
#include "json/json_record_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/heif_builder.h"

namespace veltrane::heif_boxes {
namespace {

using samples::Bytes;

Bytes Words(std::initializer_list<std::uint32_t> words) {
    Bytes out;
    for (const std::uint32_t w : words)
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    return out;
}

Bytes Uuid(const std::array<std::uint8_t, 16>& usertype, const Bytes& body) {
    Bytes payload(usertype.begin(), usertype.end());
    payload.insert(payload.end(), body.begin(), body.end());
    return samples::HeifBox("uuid", payload);
}

// The raw focal length (denominator 2^28, relative to the width) of a horizontal field of view.
std::uint32_t Focal(double fov) {
    return static_cast<std::uint32_t>(std::lround(std::ldexp(0.5 / std::tan(fov * std::numbers::pi / 360), 28)));
}

// Payloads from the full box header on, as both forms carry them.
Bytes Intrinsics(std::uint32_t focal) { return Words({0x001C00, focal, 0x08000000, 0x08000000}); }
Bytes Position(std::optional<std::int32_t> x) {
    return x ? Words({0x01, static_cast<std::uint32_t>(*x)}) : Words({0});
}
Bytes Standard(const char* type, const Bytes& payload) { return samples::HeifBox(type, payload); }

struct ReadCase {
    const char* name;
    std::vector<Bytes> left, right;  // the eyes' camera properties
    std::optional<double> baseline, fov, disparity;
};

std::vector<ReadCase> ReadCases() {
    const Bytes disparity = Uuid(kDisparityUuid, Words({293}));
    const Bytes cmin80 = Standard("cmin", Intrinsics(Focal(80)));
    Bytes cut = Standard("cmin", Intrinsics(Focal(80)));
    cut.resize(cut.size() - 4);
    cut[3] = static_cast<std::uint8_t>(cut.size());
    // Both positions, an orientation in 32-bit fields and a world system: 60 mm apart.
    const Bytes everything = Words({0x3F, static_cast<std::uint32_t>(-30000), 0, 0, 0, 0, 0, 7});
    const Bytes everythingRight = Words({0x3F, 30000, 0, 0, 0, 0, 0, 7});
    return {
        {"the standard boxes", {cmin80, Standard("cmex", Position({})), disparity},
         {cmin80, Standard("cmex", Position(63810)), disparity}, 63.81, 80.0, 0.0293},
        {"the headset's first uuid boxes",
         {Uuid(kIntrinsicsUuid, Intrinsics(Focal(80))), Uuid(kExtrinsicsUuid, Position({})), disparity},
         {Uuid(kIntrinsicsUuid, Intrinsics(Focal(80))), Uuid(kExtrinsicsUuid, Position(63810)), disparity},
         63.81, 80.0, 0.0293},
        {"both forms: the standard boxes win",
         {Uuid(kIntrinsicsUuid, Intrinsics(0x24926E7E)), cmin80},
         {Standard("cmex", Position(50000)), Uuid(kExtrinsicsUuid, Position(70000))}, 50.0, 80.0, {}},
        {"the headset maker's 1280 x 720 intrinsics", {Standard("cmin", Intrinsics(0x24926E7E))}, {}, {},
         2 * std::atan(0.5 / (0x24926E7E / std::ldexp(1.0, 28))) * 180 / std::numbers::pi, {}},
        {"a vertical focal length, skew, orientation and world system",
         {Standard("cmin", Words({0x0A1C01, Focal(80), 0x08000000, 0x08000000, Focal(80), 0})),
          Standard("cmex", everything)},
         {Standard("cmex", everythingRight), Uuid(kDisparityUuid, Words({static_cast<std::uint32_t>(-150)}))},
         60.0, 80.0, -0.015},
        {"a cut-short cmin is left out", {cut}, {Standard("cmex", Position(65000))}, 65.0, {}, {}},
        {"no camera properties", {}, {}, {}, {}, {}},
    };
}

Bytes SpatialFile(const std::vector<Bytes>& left, const std::vector<Bytes>& right,
                  const samples::HeifSampleLayout& layout = {}) {
    samples::HeifSample s = samples::SampleSpatialHeif(true);
    s.layout = layout;
    s.items[0].properties = left;
    s.items[2].properties = right;
    return samples::BuildHeif(s);
}

void ExpectNear(std::optional<double> got, std::optional<double> want, double tolerance, const char* what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, tolerance) << what;
    }
}

TEST(StereoCamera, BothFormsAreReadAndPrinted) {
    testing::TempDir dir;
    CommandLineServices services;
    services.NewRecordWriter = json::NewJsonRecordWriter;
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        const Bytes file = SpatialFile(c.left, c.right);
        const StereoCameraFacts facts = ReadStereoCamera(ParseHeif(file));
        ExpectNear(facts.baselineMm, c.baseline, 1e-9, "baseline");
        ExpectNear(facts.horizontalFov, c.fov, 1e-4, "field of view");
        ExpectNear(facts.disparityAdjustment, c.disparity, 1e-12, "disparity");

        const std::string path = dir.Write("photo.heic", file);
        std::ostringstream out, err;
        ASSERT_EQ(RunCommandLine({"--info", path}, out, err, services), 0) << err.str();
        std::ostringstream json, jsonErr;
        ASSERT_EQ(RunCommandLine({"--info", "--json", path}, json, jsonErr, services), 0) << jsonErr.str();
        const bool headsetExample = c.baseline == 63.81;
        const struct {
            bool present;
            std::string text, member;
        } lines[] = {
            {c.baseline.has_value(), headsetExample ? "\nStereo baseline: 63.81 mm\n" : "Stereo baseline: ",
             headsetExample ? "\"StereoBaselineMM\": 63.81" : "\"StereoBaselineMM\""},
            {c.fov.has_value(), headsetExample ? "\nHorizontal field of view: 80.0\u00B0\n" : "Horizontal field of view: ",
             headsetExample ? "\"HorizontalFOV\": 80.0" : "\"HorizontalFOV\""},
            {c.disparity.has_value(), headsetExample ? "\nDisparity adjustment: +2.93%\n" : "Disparity adjustment: ",
             headsetExample ? "\"DisparityAdjustment\": 0.0293" : "\"DisparityAdjustment\""},
        };
        for (const auto& line : lines) {
            EXPECT_EQ(out.str().find(line.text) != std::string::npos, line.present) << line.text << "\n" << out.str();
            EXPECT_EQ(json.str().find(line.member) != std::string::npos, line.present) << line.member << json.str();
        }
    }
}

TEST(StereoCamera, WrittenBoxesHoldTheModel) {
    // 80 degrees: f = 0.5 / tan(40 degrees) of the width, the principal point at the centre.
    const Bytes f = Words({Focal(80)});
    EXPECT_EQ(IntrinsicsBox(80), (Bytes{0, 0, 0, 24, 'c', 'm', 'i', 'n', 0, 0, 0x1C, 0, f[0], f[1], f[2], f[3],
                                        0x08, 0, 0, 0, 0x08, 0, 0, 0}));
    // The headset maker's own focal length comes out as its file has it.
    const double headsetFov = 2 * std::atan(0.5 / (0x24926E7E / std::ldexp(1.0, 28))) * 180 / std::numbers::pi;
    const Bytes headset = IntrinsicsBox(headsetFov);
    EXPECT_EQ(Bytes(headset.begin() + 12, headset.begin() + 16), Words({0x24926E7E}));
    // A field of view so narrow that the focal length needs a smaller denominator.
    const Bytes narrow = IntrinsicsBox(0.001);
    BoxCursor c(std::span<const std::uint8_t>(narrow).subspan(8), 8, MakeFourCc("cmin"));
    EXPECT_NEAR(0.5 / ReadCameraIntrinsics(c).focalX, std::tan(0.0005 * std::numbers::pi / 180), 1e-9);

    EXPECT_EQ(ExtrinsicsBox(std::nullopt), (Bytes{0, 0, 0, 12, 'c', 'm', 'e', 'x', 0, 0, 0, 0}));
    EXPECT_EQ(ExtrinsicsBox(63810), (Bytes{0, 0, 0, 16, 'c', 'm', 'e', 'x', 0, 0, 0, 1, 0, 0, 0xF9, 0x42}));
    EXPECT_EQ(DisparityBox(-293), Uuid(kDisparityUuid, Words({static_cast<std::uint32_t>(-293)})));
}

TEST(StereoCamera, SetInEveryLayoutWithTheCodedDataUntouched) {
    const samples::HeifSampleLayout layouts[] = {
        {},
        {1, 4, 4, 4, 0, 0, 2, 0, 0, 0, false},   // base offsets
        {2, 8, 4, 0, 8, 1, 3, 1, 0, 1, true},    // 8-byte offsets, 32-bit IDs, a largesize meta
    };
    const std::vector<Bytes> oldUuids = {Uuid(kIntrinsicsUuid, Intrinsics(0x24926E7E)),
                                         Uuid(kExtrinsicsUuid, Position(20000)), Uuid(kDisparityUuid, Words({5}))};
    const StereoCamera first{63.81, 80, 0.0293}, second{35, 60.3, -0.25};
    for (const auto& layout : layouts) {
        // Without camera properties (the meta box grows) and with the uuid ones (it shrinks).
        for (const bool withOld : {false, true}) {
            SCOPED_TRACE(std::to_string(layout.ilocVersion) + (withOld ? " with uuid properties" : ""));
            const Bytes file = SpatialFile(withOld ? oldUuids : std::vector<Bytes>{}, {}, layout);
            const HeifStructure before = ParseHeif(file);
            Bytes written = SetStereoCamera(file, first);
            for (const bool again : {false, true}) {
                const StereoCamera& camera = again ? second : first;
                if (again) written = SetStereoCamera(written, second);
                const HeifStructure after = ParseHeif(written);
                const StereoCameraFacts facts = ReadStereoCamera(after);
                EXPECT_NEAR(*facts.baselineMm, camera.baselineMm, 1e-9);
                EXPECT_NEAR(*facts.horizontalFov, camera.horizontalFov, 1e-6);
                EXPECT_NEAR(*facts.disparityAdjustment, camera.disparityAdjustment, 1e-12);
                for (const auto& item : before.items)
                    EXPECT_EQ(ItemPayload(after, written, item.id), ItemPayload(before, file, item.id)) << item.id;
                // Each eye has one property of each kind; the old ones went from ipco.
                for (const std::uint32_t eye : {1u, 3u}) {
                    const auto& types = after.FindItem(eye)->propertyTypes;
                    for (const FourCc type : {MakeFourCc("cmin"), MakeFourCc("cmex"), MakeFourCc("uuid")})
                        EXPECT_EQ(std::count(types.begin(), types.end(), type), 1) << FourCcText(type);
                }
            }
            // Setting the same values again gives the same file.
            EXPECT_EQ(SetStereoCamera(SetStereoCamera(written, first), second), written);
        }
    }
    samples::HeifSample single = samples::SampleSpatialHeif(false);
    try {
        SetStereoCamera(samples::BuildHeif(single), first);
        ADD_FAILURE() << "a file without a stereo pair";
    } catch (const HeifFormatError& e) {
        EXPECT_STREQ(e.what(), "holds no stereo pair");
    }
}

}  // namespace
}  // namespace veltrane::heif_boxes
