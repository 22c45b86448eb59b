// SPDX-License-Identifier: GPL-3.0-or-later
// The Stereo window's model driven as a front-end drives it, through a recording view and a
// recording previewer.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/window/stereo_window_model.h"
#include "tests/window/stereo_fakes.h"
#include "tests/support/temp_dir.h"
#include "tests/window/window_fakes.h"

namespace veltrane::window::test {
namespace {

class StereoWindow : public ::testing::Test {
protected:
    void Open() { model.OpenPair("/pictures/trip.mpo", 1, 2); }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(previewer.Calls.begin(), previewer.Calls.end(), call));
    }

    FakePreviewer previewer;
    FakeSaveDialog saveDialog;
    FakeMessages messages;
    RecordingStereoView view;
    StereoWindowModel model{{previewer, saveDialog, messages}, view};
};

TEST_F(StereoWindow, OpensThePairAsAnAlignedAnaglyph) {
    EXPECT_FALSE(view.Controls.viewChoice || view.Controls.saveButton || view.Controls.parallaxSlider);
    model.OpenPair("/pictures/trip.mpo", 3, 4);
    EXPECT_EQ(previewer.Calls, (std::vector<std::string>{"open /pictures/trip.mpo 3 4 1000", "measure", "render"}));
    EXPECT_TRUE(view.Visible);
    EXPECT_EQ(view.Title, "Stereo - trip.mpo");
    EXPECT_EQ(previewer.Renders.back(), (StereoRenderSettings{StereoView::Anaglyph, AnaglyphKind::Dubois, {60, -2}, 0, false}));
    EXPECT_EQ(view.Shown().width, 100);
    StereoControls expected;
    expected.parallaxMin = -200;  // a twentieth of 4000 either way
    expected.parallaxMax = 200;
    expected.statusText = "Images 3 and 4, 4000 x 3000; aligned: 60 px across, -2 px down";
    expected.viewChoice = expected.anaglyphChoice = expected.alignBox = expected.alignFullBox = expected.swapBox =
        expected.parallaxSlider = expected.saveButton = true;
    EXPECT_EQ(view.Controls, expected);
    EXPECT_TRUE(messages.Errors.empty());
}

// "Open..." takes a spatial photo by its content (a HEIF file's first box), whatever its name,
// and anything else as an MPO or JPS file; a window without an open dialog has no such button.
TEST_F(StereoWindow, OpenTakesSpatialPhotosByTheirContentAndOtherFilesAsPairs) {
    veltrane::testing::TempDir dir;
    const Bytes ftyp = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0};
    const std::string photo = dir.Write("IMG_0001.HEIC", ftyp), renamed = dir.Write("spatial.jpg", ftyp);
    const std::string mpo = dir.Write("trip.mpo", Bytes{0xFF, 0xD8, 0xFF, 0xE1});
    FakeOpenDialog openDialog;
    StereoWindowModel opener{{previewer, saveDialog, messages, &openDialog}, view};
    EXPECT_TRUE(opener.Controls().openButton);
    struct Case {
        std::string answer;  // "" cancels
        std::string opened;  // the previewer's call, "" for none
        std::string status;
    };
    const Case cases[] = {
        {photo, "open spatial " + photo + " 1000", "Spatial photo, 4000 x 3000; aligned: 60 px across, -2 px down"},
        {renamed, "open spatial " + renamed + " 1000", "Spatial photo, 4000 x 3000; aligned: 60 px across, -2 px down"},
        {mpo, "open " + mpo + " 1 2 1000", "Images 1 and 2, 4000 x 3000; aligned: 60 px across, -2 px down"},
        {"", "", "Images 1 and 2, 4000 x 3000; aligned: 60 px across, -2 px down"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        previewer.Calls.clear();
        openDialog.Answer = c.answer;
        opener.OpenRequested();
        EXPECT_EQ(openDialog.Filter, "Stereo photos (*.heic *.heif *.mpo *.jps)");
        EXPECT_EQ(openDialog.Pattern, "*.heic;*.heif;*.mpo;*.jps");
        const auto opened = std::find_if(previewer.Calls.begin(), previewer.Calls.end(),
                                         [](const std::string& call) { return call.starts_with("open"); });
        EXPECT_EQ(opened == previewer.Calls.end() ? "" : *opened, c.opened);
        EXPECT_EQ(view.Controls.statusText, c.status);
        EXPECT_TRUE(view.Controls.openButton && view.Controls.saveButton);
    }
    EXPECT_EQ(view.Title, "Stereo - trip.mpo");
    // A previewer that cannot read spatial photos says so, and the window shows no pair.
    FakeMessages quiet;
    StereoPreviewer& plain = previewer;
    StereoWindowModel other{{previewer, saveDialog, quiet}, view};
    EXPECT_FALSE(other.Controls().openButton);
    other.OpenRequested();  // no dialog: nothing happens
    EXPECT_THROW(plain.StereoPreviewer::OpenSpatialPhoto(photo, 1000), std::runtime_error);
    EXPECT_EQ(openDialog.Calls, 4);
}

// Each step changes one setting; the picture is rendered again with the settings so far.
TEST_F(StereoWindow, EveryChangeRendersWithTheSettingsSoFar) {
    Open();
    struct Step {
        const char* what;
        std::function<void(StereoWindowModel&)> change;
        StereoRenderSettings rendered;  // the last render's settings afterwards
        int renders;                    // renders the step caused
        std::string parallaxText;
    };
    using V = StereoView;
    using K = AnaglyphKind;
    const std::vector<Step> steps = {
        {"kind", [](auto& m) { m.AnaglyphKindChosen(K::AmberBlue); }, {V::Anaglyph, K::AmberBlue, {60, -2}, 0, false}, 1, "0 px"},
        {"parallax", [](auto& m) { m.ParallaxChanged(37); }, {V::Anaglyph, K::AmberBlue, {60, -2}, 37, false}, 1, "+37 px"},
        {"same parallax", [](auto& m) { m.ParallaxChanged(37); }, {V::Anaglyph, K::AmberBlue, {60, -2}, 37, false}, 0, "+37 px"},
        {"too far", [](auto& m) { m.ParallaxChanged(-999); }, {V::Anaglyph, K::AmberBlue, {60, -2}, -200, false}, 1, "-200 px"},
        {"swap", [](auto& m) { m.SwapToggled(true); }, {V::Anaglyph, K::AmberBlue, {-60, 2}, -200, true}, 1, "-200 px"},
        {"cross", [](auto& m) { m.ViewChosen(V::Cross); }, {V::Cross, K::AmberBlue, {-60, 2}, -200, true}, 1, "-200 px"},
        {"kind unseen", [](auto& m) { m.AnaglyphKindChosen(K::Gray); }, {V::Cross, K::AmberBlue, {-60, 2}, -200, true}, 0, "-200 px"},
        {"no align", [](auto& m) { m.AlignToggled(false); }, {V::Cross, K::Gray, {0, 0}, -200, true}, 1, "-200 px"},
        {"align again", [](auto& m) { m.AlignToggled(true); }, {V::Cross, K::Gray, {-60, 2}, -200, true}, 1, "-200 px"},
        {"parallel", [](auto& m) { m.ViewChosen(V::Parallel); }, {V::Parallel, K::Gray, {-60, 2}, -200, true}, 1, "-200 px"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t before = previewer.Renders.size();
        step.change(model);
        EXPECT_EQ(previewer.Renders.size() - before, static_cast<std::size_t>(step.renders));
        EXPECT_EQ(previewer.Renders.back(), step.rendered);
        if (step.renders > 0) {
            EXPECT_EQ(model.RenderSettings(), step.rendered);
        }
        EXPECT_EQ(view.Controls.parallaxText, step.parallaxText);
        EXPECT_EQ(view.Controls.anaglyphChoice, step.rendered.view == V::Anaglyph);
        EXPECT_EQ(view.Controls.swap, step.rendered.swap);
    }
    EXPECT_EQ(Count("measure"), 1);  // measured once for the pair
    EXPECT_TRUE(view.Timers.empty());
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(StereoWindow, TheWiggleAlternatesItsFramesInPlace) {
    Open();
    model.ViewChosen(StereoView::Wiggle);
    EXPECT_EQ(view.Timers, std::vector<int>{150});
    std::vector<int> frames;
    for (int tick = 0; tick < 3; ++tick) {
        frames.push_back(view.Shown().pixels[1]);
        model.AnimationTimerFired();
    }
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 0}));
    // The slider moves on while it wiggles: new frames, from the frame it shows, same timer.
    model.ParallaxChanged(10);
    EXPECT_EQ(view.Shown().width, 110);
    EXPECT_EQ(view.Shown().pixels[1], 1);
    EXPECT_EQ(view.Timers, std::vector<int>{150});
    model.ViewChosen(StereoView::Anaglyph);
    EXPECT_EQ(view.Timers, (std::vector<int>{150, 0}));
    const std::size_t shown = view.Pictures.size();
    model.AnimationTimerFired();  // a late tick changes nothing
    EXPECT_EQ(view.Pictures.size(), shown);
}

TEST_F(StereoWindow, SaveOffersEveryTypeAndWritesTheChosenOneAsShown) {
    Open();
    model.ViewChosen(StereoView::Cross);
    model.ParallaxChanged(-12);
    model.SwapToggled(true);
    model.AnaglyphKindChosen(AnaglyphKind::Optimized);
    struct Case {
        bool mpo;         // the previewer can write MPO files
        int chosen;       // -1: the type offered first
        const char* path; // "" cancels
        StereoFileType written;
        std::size_t types;
    };
    for (const Case& c : {Case{false, -1, "/out/a.jps", StereoFileType::CrossJps, 9},
                          Case{false, 7, "/out/b.gif", StereoFileType::WiggleGif, 9},
                          Case{false, 8, "/out/c.webp", StereoFileType::WiggleWebp, 9},
                          Case{false, 6, "/out/d.png", StereoFileType::InterlacedPng, 9},
                          Case{false, 42, "/out/e.jps", StereoFileType::CrossJps, 9},
                          Case{true, 9, "/out/f.mpo", StereoFileType::Mpo, 10},
                          Case{false, 1, "", StereoFileType::Parallel, 9}}) {
        SCOPED_TRACE(c.path);
        previewer.MpoAvailable = c.mpo;
        previewer.Saves.clear();
        saveDialog.KeepsOfferedType = c.chosen < 0;
        saveDialog.ChosenType = c.chosen;
        saveDialog.Answer = c.path;
        model.SaveRequested();
        EXPECT_EQ(saveDialog.Title, "Save Stereo");
        ASSERT_EQ(saveDialog.Types.size(), c.types);
        ASSERT_EQ(saveDialog.SuggestedPaths.size(), c.types);
        for (std::size_t i = 0; i < c.types; ++i) {
            EXPECT_EQ(saveDialog.Types[i], kStereoFileTypes[i].filter);
            EXPECT_EQ(saveDialog.SuggestedPaths[i], "/pictures/trip." + std::to_string(i));
        }
        EXPECT_EQ(saveDialog.OfferedType, 0);  // the cross view offers the JPS first
        if (!*c.path) {
            EXPECT_TRUE(previewer.Saves.empty());
            continue;
        }
        ASSERT_EQ(previewer.Saves.size(), 1u);
        EXPECT_EQ(previewer.Saves[0].second, c.path);
        EXPECT_EQ(previewer.Saves[0].first,
                  (StereoSaveSettings{c.written, AnaglyphKind::Optimized, true, -12, true, 150}));
    }
    // Each view offers its own type first.
    for (const StereoViewEntry& entry : kStereoViews) {
        SCOPED_TRACE(entry.caption);
        model.ViewChosen(entry.view);
        saveDialog.Answer.clear();
        model.SaveRequested();
        const int offered = saveDialog.OfferedType;
        ASSERT_TRUE(offered >= 0 && offered < static_cast<int>(kStereoFileTypes.size()));
        EXPECT_EQ(kStereoFileTypes[static_cast<std::size_t>(offered)].type, DefaultFileType(entry.view));
    }
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(StereoWindow, FailuresAreShownAndLeaveAConsistentWindow) {
    struct Case {
        const char* failing;
        std::function<void(StereoWindowModel&)> then;
        bool open, alignBox, alignTicked, pictureShown;
    };
    const std::vector<Case> cases = {
        {"open", [](auto&) {}, false, false, true, false},
        {"measure", [](auto&) {}, true, false, false, true},
        {"render", [](auto& m) { m.ParallaxChanged(5); }, true, true, true, false},
        {"save", [](auto& m) { m.SaveRequested(); }, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        FakePreviewer failing;
        FakeMessages shown;
        FakeSaveDialog dialog;
        dialog.Answer = "/out/x.jpg";
        RecordingStereoView window;
        StereoWindowModel stereo({failing, dialog, shown}, window);
        if (std::string(c.failing) != "open" && std::string(c.failing) != "measure") stereo.OpenPair("/p/a.mpo", 1, 2);
        failing.FailOn = c.failing;
        if (std::string(c.failing) == "open" || std::string(c.failing) == "measure") stereo.OpenPair("/p/a.mpo", 1, 2);
        c.then(stereo);
        EXPECT_EQ(shown.Errors, std::vector<std::string>{std::string("cannot ") + c.failing});
        EXPECT_EQ(stereo.PairOpen(), c.open);
        EXPECT_EQ(window.Visible, c.open);
        EXPECT_EQ(window.Controls.alignBox, c.alignBox);
        EXPECT_EQ(window.Controls.align, c.alignTicked);
        EXPECT_EQ(window.Shown().width > 0, c.pictureShown);
        if (std::string(c.failing) == "measure") {
            EXPECT_EQ(failing.Renders.back().shift, (StereoShift{0, 0}));
        }
    }
}

TEST_F(StereoWindow, NothingHappensWithoutAPair) {
    auto everything = [&] {
        model.ViewChosen(StereoView::Wiggle);
        model.AnaglyphKindChosen(AnaglyphKind::Color);
        model.AlignToggled(false);
        model.SwapToggled(true);
        model.ParallaxChanged(20);
        model.SaveRequested();
        model.AnimationTimerFired();
    };
    everything();
    EXPECT_TRUE(previewer.Calls.empty());
    Open();
    model.WindowClosing();
    EXPECT_EQ(previewer.Calls.back(), "close");
    EXPECT_FALSE(view.Controls.saveButton || view.Controls.parallaxSlider || view.Controls.viewChoice);
    EXPECT_EQ(view.Shown().width, 0);  // the picture is let go with the pair
    previewer.Calls.clear();
    everything();
    EXPECT_TRUE(previewer.Calls.empty());
    EXPECT_EQ(saveDialog.Calls, 0);
    EXPECT_TRUE(view.Timers.empty());
    EXPECT_TRUE(messages.Errors.empty());
}

TEST_F(StereoWindow, ANewPairStartsAfreshButKeepsTheKindAndTheAlignBox) {
    Open();
    model.ViewChosen(StereoView::Wiggle);
    model.AnaglyphKindChosen(AnaglyphKind::GreenMagenta);
    model.AlignToggled(false);
    model.SwapToggled(true);
    model.ParallaxChanged(50);
    previewer.Calls.clear();
    model.OpenPair("/pictures/other.mpo", 2, 3);
    EXPECT_EQ(previewer.Calls, (std::vector<std::string>{"close", "open /pictures/other.mpo 2 3 1000", "render"}));
    EXPECT_EQ(previewer.Renders.back(), (StereoRenderSettings{StereoView::Anaglyph, AnaglyphKind::GreenMagenta, {}, 0, false}));
    EXPECT_EQ(view.Timers, (std::vector<int>{150, 0}));
    EXPECT_FALSE(view.Controls.align);
    EXPECT_EQ(view.Controls.statusText, "Images 2 and 3, 4000 x 3000");
}

// Full alignment runs off the interface thread: meanwhile the status says so and the slider and
// the choices render the uncorrected pair; its end, handed over through the view, renders the
// corrected pair and names the correction, and Save asks for it. A refusal greys the box out.
TEST_F(StereoWindow, AlignsFullyOffTheInterfaceThreadWhileTheControlsStayLive) {
    Open();
    model.AlignFullToggled(true);
    EXPECT_EQ(Count("align full"), 1);
    EXPECT_TRUE(view.Controls.alignFull && view.Controls.alignFullBox && view.Controls.parallaxSlider);
    EXPECT_EQ(view.Controls.statusText, "Images 1 and 2, 4000 x 3000; aligning at full size…");
    model.ParallaxChanged(10);
    model.ViewChosen(StereoView::Parallel);
    EXPECT_EQ(previewer.Renders.back(), (StereoRenderSettings{StereoView::Parallel, AnaglyphKind::Dubois, {60, -2}, 10, false, false}));

    // The previewer's thread ends; the model hears of it on the interface thread only.
    ASSERT_TRUE(previewer.AlignmentDone);
    previewer.AlignmentDone();
    EXPECT_EQ(Count("finish full"), 0);
    view.RunQueued();
    EXPECT_EQ(Count("finish full"), 1);
    EXPECT_EQ(previewer.Renders.back(), (StereoRenderSettings{StereoView::Parallel, AnaglyphKind::Dubois, {}, 10, false, true}));
    EXPECT_EQ(view.Controls.statusText, "Images 1 and 2, 4000 x 3000; aligned: rotation 0.82°, scale 1.004, vertical 3.1 px");
    saveDialog.Answer = "/out/trip.jpg";
    saveDialog.KeepsOfferedType = true;
    model.SaveRequested();
    ASSERT_EQ(previewer.Saves.size(), 1u);
    EXPECT_TRUE(previewer.Saves[0].first.alignFull);
    EXPECT_FALSE(previewer.Saves[0].first.align);

    // Unticked: the shift again, without aligning anew; ticked: the correction kept.
    model.AlignFullToggled(false);
    EXPECT_EQ(previewer.Renders.back().shift, (StereoShift{60, -2}));
    model.AlignFullToggled(true);
    EXPECT_EQ(Count("align full"), 1);
    EXPECT_TRUE(previewer.Renders.back().fullAlign);

    // An end heard after the next pair opened belongs to the old one.
    std::function<void()> old = previewer.AlignmentDone;
    model.OpenPair("/pictures/other.mpo", 1, 2);
    EXPECT_EQ(Count("align full"), 2);
    old();
    view.RunQueued();
    EXPECT_EQ(Count("finish full"), 1);
    EXPECT_EQ(view.Controls.statusText, "Images 1 and 2, 4000 x 3000; aligning at full size…");
    previewer.AlignmentDone();
    view.RunQueued();
    EXPECT_EQ(Count("finish full"), 2);
}

TEST_F(StereoWindow, AFullAlignmentThatIsRefusedGreysTheBoxOut) {
    Open();
    previewer.FailOn = "finish full";
    model.AlignFullToggled(true);
    previewer.AlignmentDone();
    view.RunQueued();
    ASSERT_EQ(messages.Errors.size(), 1u);
    EXPECT_EQ(messages.Errors[0], "cannot finish full");
    EXPECT_FALSE(view.Controls.alignFull || view.Controls.alignFullBox);
    EXPECT_FALSE(previewer.Renders.back().fullAlign);
    EXPECT_TRUE(view.Controls.parallaxSlider && view.Controls.viewChoice);
}

}  // namespace
}  // namespace veltrane::window::test
