// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement of full alignment, with OpenCV (the warp is eye_warp.cpp's, bicubic: at the
// scales a pair needs, within a few per cent of 1, it keeps the detail that Lanczos' filter
// keeps, at a third of its work).
//
// The model. A point of the scene at (xl, yl) in the left eye lies at r in the right eye, and a
// map G of the right eye's plane (a similarity: turn, size, shift; with the keystone, the two
// perspective terms as well) takes r to (xl + d, yl), where d, the horizontal disparity, differs
// from point to point with the point's distance. Only G's row of y is therefore seen in the
// matches, and it is linear in its unknowns:
//
//   similarity  yl = a xr + b yr + c                      G = | b  -a  0 |
//                                                             | a   b  c |
//                                                             | 0   0  1 |
//   keystone    yl = a xr + b yr + c - e xr yl - f yr yl  G = | b  -a  0 |
//                                                             | a   b  c |
//                                                             | e   f  1 |
//
// (coordinates from the picture's centre, in units of half its longer side). Its row of x is the
// one the similarity implies, without a shift across: the disparity stays as it was. G is then
// split in two equal steps H (H H = G, the principal square root): the right eye is mapped by H,
// the left by the inverse of H, so that each eye moves half of the way.
#include "imaging/align/pair_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <mutex>
#include <random>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

namespace veltrane::align {
namespace {

// ORB's features per eye at the working size, and the least number that a picture must have.
constexpr int kMostFeatures = 2000;
constexpr int kLeastFeatures = 50;
constexpr int kEnoughFeatures = 800;
// Lowe's ratio test: the best match must be clearly better than the second best.
constexpr float kMatchRatio = 0.8f;
// A fit needs this many agreeing matches, and at least this share of the matches.
constexpr int kLeastInliers = 30;
constexpr double kLeastInlierShare = 0.25;
// A match agrees with a fit within this many working pixels of rows.
constexpr double kInlierRows = 1.5;
constexpr int kRansacRounds = 2000;
// What a stereo pair can need: beyond it the matches have found something else.
constexpr double kMostDegrees = 10;
constexpr double kLeastScale = 0.8, kMostScale = 1.25;
constexpr double kMostVerticalShare = 0.25;  // of the height
// The corrected eyes must keep at least this share of each side.
constexpr double kLeastSideShare = 0.5;

using Matrix = cv::Matx33d;

// A matched point in both eyes, in the model's coordinates.
struct Match {
    cv::Point2d left, right;
};

// The geometry of the full picture and the working one.
struct Frame {
    int width = 0, height = 0;          // full size
    double unit = 1;                    // pixels per model unit: half the longer side
    double centreX = 0, centreY = 0;    // of the full picture, in pixels
    double workX = 1, workY = 1;        // full pixels per working pixel
    cv::Point2d ToModel(cv::Point2f work) const {
        return {((work.x + 0.5) * workX - 0.5 - centreX) / unit, ((work.y + 0.5) * workY - 0.5 - centreY) / unit};
    }
};

cv::Mat WrapRgb(const RgbView& view) {
    return cv::Mat(view.height, view.width, CV_8UC3, const_cast<std::uint8_t*>(view.pixels),
                   static_cast<std::size_t>(view.stride));
}

// The working picture: the eye made grey, then shrunk by area averaging (grey first, the
// averaging has a third of the work): halved while it stays at least twice the working size
// (OpenCV averages whole 2 x 2 blocks fast), then shrunk the rest of the way.
cv::Mat WorkingGrey(const RgbView& eye, cv::Size size) {
    cv::Mat grey;
    cv::cvtColor(WrapRgb(eye), grey, cv::COLOR_RGB2GRAY);
    while (grey.cols % 2 == 0 && grey.rows % 2 == 0 && grey.cols >= 2 * size.width && grey.rows >= 2 * size.height) {
        cv::Mat half;
        cv::resize(grey, half, cv::Size(grey.cols / 2, grey.rows / 2), 0, 0, cv::INTER_AREA);
        grey = half;
    }
    if (grey.size() == size) return grey;
    cv::Mat small;
    cv::resize(grey, small, size, 0, 0, cv::INTER_AREA);
    return small;
}

struct Features {
    std::vector<cv::KeyPoint> points;
    cv::Mat descriptors;
};

// ORB's corners at FAST's threshold of contrast, lowered for a soft picture (mist, a dim room)
// while it yields too few.
Features FindFeatures(const cv::Mat& grey) {
    Features found;
    for (const int threshold : {12, 6, 3}) {
        cv::Ptr<cv::ORB> orb = cv::ORB::create(kMostFeatures, 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, threshold);
        orb->detectAndCompute(grey, cv::noArray(), found.points, found.descriptors);
        if (static_cast<int>(found.points.size()) >= kEnoughFeatures) break;
    }
    return found;
}

// Each point moved to where the corner lies to a fraction of a pixel; a point that the
// refinement carries further than a pixel or so keeps its place.
void RefineCorners(const cv::Mat& grey, std::vector<cv::Point2f>& points) {
    if (points.empty()) return;
    std::vector<cv::Point2f> refined = points;
    cv::cornerSubPix(grey, refined, cv::Size(3, 3), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 20, 0.01));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const cv::Point2f step = refined[i] - points[i];
        if (std::isfinite(refined[i].x) && std::isfinite(refined[i].y) && step.dot(step) <= 1.5f * 1.5f)
            points[i] = refined[i];
    }
}

// The unknowns of the row of y: a, b, c and, with the keystone, e and f.
using Row = std::vector<double>;

// The row of the left eye that the fit gives for a point r of the right eye.
double PredictedRow(const Row& p, const cv::Point2d& r) {
    const double w = p.size() == 5 ? p[3] * r.x + p[4] * r.y + 1 : 1;
    return (p[0] * r.x + p[1] * r.y + p[2]) / w;
}

double Residual(const Row& p, const Match& m) { return std::abs(PredictedRow(p, m.right) - m.left.y); }

// One match's equation of the row: its coefficients into r[0 .. unknowns), the right side
// returned.
double EquationOf(const Match& m, int unknowns, double* r) {
    r[0] = m.right.x;
    r[1] = m.right.y;
    r[2] = 1;
    if (unknowns == 5) {
        r[3] = -m.right.x * m.left.y;
        r[4] = -m.right.y * m.left.y;
    }
    return m.left.y;
}

// The row through exactly as many matches as unknowns (RANSAC's samples, thousands of them):
// Gaussian elimination with partial pivoting on the small system in place, without OpenCV's
// matrices. False when the matches do not determine it.
bool FitExactly(const std::vector<Match>& matches, const std::vector<int>& chosen, int unknowns, Row& row) {
    constexpr int kMost = 5;
    double a[kMost][kMost + 1];
    const int n = unknowns;
    for (int i = 0; i < n; ++i) {
        const Match& m = matches[static_cast<std::size_t>(chosen[static_cast<std::size_t>(i)])];
        a[i][n] = EquationOf(m, n, a[i]);
    }
    for (int column = 0; column < n; ++column) {
        int pivot = column;
        for (int i = column + 1; i < n; ++i)
            if (std::abs(a[i][column]) > std::abs(a[pivot][column])) pivot = i;
        if (!(std::abs(a[pivot][column]) > 1e-12)) return false;
        if (pivot != column) std::swap(a[pivot], a[column]);
        for (int i = column + 1; i < n; ++i) {
            const double factor = a[i][column] / a[column][column];
            for (int j = column; j <= n; ++j) a[i][j] -= factor * a[column][j];
        }
    }
    row.assign(static_cast<std::size_t>(n), 0.0);
    for (int i = n - 1; i >= 0; --i) {
        double sum = a[i][n];
        for (int j = i + 1; j < n; ++j) sum -= a[i][j] * row[static_cast<std::size_t>(j)];
        row[static_cast<std::size_t>(i)] = sum / a[i][i];
    }
    return std::all_of(row.begin(), row.end(), [](double v) { return std::isfinite(v); });
}

// The least-squares row through the matches (the keystone's linear form: yl (e xr + f yr) moved
// to the left side). False when they do not determine it.
bool FitRow(const std::vector<Match>& matches, const std::vector<int>& chosen, int unknowns, Row& row) {
    if (static_cast<int>(chosen.size()) == unknowns) return FitExactly(matches, chosen, unknowns, row);
    cv::Mat a(static_cast<int>(chosen.size()), unknowns, CV_64F), b(static_cast<int>(chosen.size()), 1, CV_64F);
    for (int i = 0; i < a.rows; ++i) {
        const Match& m = matches[static_cast<std::size_t>(chosen[static_cast<std::size_t>(i)])];
        b.at<double>(i) = EquationOf(m, unknowns, a.ptr<double>(i));
    }
    cv::Mat x;
    const int method = a.rows == unknowns ? cv::DECOMP_LU : cv::DECOMP_SVD;
    if (!cv::solve(a, b, x, method)) return false;
    row.assign(x.begin<double>(), x.end<double>());
    return std::all_of(row.begin(), row.end(), [](double v) { return std::isfinite(v); });
}

std::vector<int> Inliers(const std::vector<Match>& matches, const Row& row, double limit) {
    std::vector<int> inliers;
    for (std::size_t i = 0; i < matches.size(); ++i)
        if (Residual(row, matches[i]) <= limit) inliers.push_back(static_cast<int>(i));
    return inliers;
}

// How many matches agree with a row: Inliers' count, in a loop over plain arrays of the
// matches' coordinates that the compiler makes vector arithmetic of (RANSAC's inner loop).
struct MatchColumns {
    std::vector<double> xr, yr, yl;
    explicit MatchColumns(const std::vector<Match>& matches) {
        for (const Match& m : matches) {
            xr.push_back(m.right.x);
            yr.push_back(m.right.y);
            yl.push_back(m.left.y);
        }
    }
};

std::size_t CountAgreeing(const MatchColumns& columns, const Row& p, double limit) {
    const std::size_t n = columns.xr.size();
    const double* xr = columns.xr.data();
    const double* yr = columns.yr.data();
    const double* yl = columns.yl.data();
    std::size_t count = 0;
    if (p.size() == 5) {
        for (std::size_t i = 0; i < n; ++i)
            count += std::abs((p[0] * xr[i] + p[1] * yr[i] + p[2]) / (p[3] * xr[i] + p[4] * yr[i] + 1) - yl[i]) <= limit;
    } else {
        const double a = p[0], b = p[1], c = p[2];
        for (std::size_t i = 0; i < n; ++i) count += std::abs(a * xr[i] + b * yr[i] + c - yl[i]) <= limit;
    }
    return count;
}

// RANSAC: the row that most matches agree with, then refitted on them twice.
std::vector<int> FitRobustly(const std::vector<Match>& matches, int unknowns, double limit, Row& row) {
    std::mt19937 random(20240601u);  // the same pair always gives the same correction
    std::uniform_int_distribution<int> pick(0, static_cast<int>(matches.size()) - 1);
    const MatchColumns columns(matches);
    std::vector<int> best;
    for (int round = 0; round < kRansacRounds; ++round) {
        std::vector<int> sample;
        while (static_cast<int>(sample.size()) < unknowns) {
            const int i = pick(random);
            if (std::find(sample.begin(), sample.end(), i) == sample.end()) sample.push_back(i);
        }
        Row candidate;
        if (!FitRow(matches, sample, unknowns, candidate)) continue;
        if (CountAgreeing(columns, candidate, limit) > best.size()) best = Inliers(matches, candidate, limit);
    }
    for (int pass = 0; pass < 2 && static_cast<int>(best.size()) >= unknowns; ++pass) {
        if (!FitRow(matches, best, unknowns, row)) break;
        best = Inliers(matches, row, limit);
    }
    if (static_cast<int>(best.size()) >= unknowns && !FitRow(matches, best, unknowns, row)) best.clear();
    return best;
}

cv::Point2d Apply(const Matrix& m, const cv::Point2d& p) {
    const double w = m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2);
    return {(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)) / w, (m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)) / w};
}

// The principal square root of a map near the identity (Denman and Beavers' iteration).
Matrix SquareRoot(const Matrix& g) {
    Matrix y = g * (1.0 / g(2, 2)), z = Matrix::eye();
    for (int i = 0; i < 40; ++i) {
        const Matrix next = (y + z.inv()) * 0.5;
        z = (z + y.inv()) * 0.5;
        y = next;
    }
    return y * (1.0 / y(2, 2));
}

Matrix Shift(double x, double y) { return Matrix(1, 0, x, 0, 1, y, 0, 0, 1); }

std::string Fixed(double value, int decimals) {
    const double step = std::pow(10.0, decimals);
    if (std::round(value * step) == 0) value = 0;  // no "-0.0"
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

PairCorrection Measure(const RgbView& left, const RgbView& right, const AlignSettings& settings) {
    if (left.width != right.width || left.height != right.height)
        throw AlignError("the eyes differ in size (" + std::to_string(left.width) + " x " + std::to_string(left.height) +
                         " and " + std::to_string(right.width) + " x " + std::to_string(right.height) + ")");
    if (left.width < 64 || left.height < 64) throw AlignError("the pictures are too small to align");
    Frame frame;
    frame.width = left.width;
    frame.height = left.height;
    frame.unit = std::max(frame.width, frame.height) / 2.0;
    frame.centreX = (frame.width - 1) / 2.0;
    frame.centreY = (frame.height - 1) / 2.0;
    const double shrink = std::max(1.0, std::sqrt(static_cast<double>(frame.width) * frame.height /
                                                  std::max(1, settings.workingPixels)));
    const cv::Size work(std::max(1, static_cast<int>(std::lround(frame.width / shrink))),
                        std::max(1, static_cast<int>(std::lround(frame.height / shrink))));
    frame.workX = static_cast<double>(frame.width) / work.width;
    frame.workY = static_cast<double>(frame.height) / work.height;

    // Both eyes' features at once.
    auto rightWork = std::async(std::launch::async, [&] {
        cv::Mat grey = WorkingGrey(right, work);
        Features features = FindFeatures(grey);
        return std::pair{std::move(grey), std::move(features)};
    });
    const cv::Mat leftGrey = WorkingGrey(left, work);
    const Features leftFeatures = FindFeatures(leftGrey);
    // Named variables rather than a structured binding, which not every compiler lets a lambda
    // capture.
    auto rightResult = rightWork.get();
    const cv::Mat& rightGrey = rightResult.first;
    const Features& rightFeatures = rightResult.second;
    if (static_cast<int>(leftFeatures.points.size()) < kLeastFeatures ||
        static_cast<int>(rightFeatures.points.size()) < kLeastFeatures)
        throw AlignError("too few features (" + std::to_string(leftFeatures.points.size()) + " in the left eye, " +
                         std::to_string(rightFeatures.points.size()) + " in the right): a plain or blurred picture");

    // The two best matches of each left feature, the second half of them on a thread of its own.
    const int firstHalf = leftFeatures.descriptors.rows / 2;
    auto laterMatched = std::async(std::launch::async, [&] {
        std::vector<std::vector<cv::DMatch>> later;
        cv::BFMatcher(cv::NORM_HAMMING)
            .knnMatch(leftFeatures.descriptors.rowRange(firstHalf, leftFeatures.descriptors.rows), rightFeatures.descriptors,
                      later, 2);
        return later;
    });
    std::vector<std::vector<cv::DMatch>> candidates;
    cv::BFMatcher(cv::NORM_HAMMING)
        .knnMatch(leftFeatures.descriptors.rowRange(0, firstHalf), rightFeatures.descriptors, candidates, 2);
    for (std::vector<cv::DMatch>& pair : laterMatched.get()) {
        for (cv::DMatch& match : pair) match.queryIdx += firstHalf;
        candidates.push_back(std::move(pair));
    }
    // Matches that pass the ratio test and lie where a pair can put them: within a quarter of
    // the width across and a fifth of the height down.
    std::vector<cv::Point2f> leftPoints, rightPoints;
    for (const std::vector<cv::DMatch>& pair : candidates) {
        if (pair.size() < 2 || pair[0].distance >= kMatchRatio * pair[1].distance) continue;
        const cv::Point2f l = leftFeatures.points[static_cast<std::size_t>(pair[0].queryIdx)].pt;
        const cv::Point2f r = rightFeatures.points[static_cast<std::size_t>(pair[0].trainIdx)].pt;
        if (std::abs(r.x - l.x) > static_cast<float>(work.width) / 4 || std::abs(r.y - l.y) > static_cast<float>(work.height) / 5)
            continue;
        leftPoints.push_back(l);
        rightPoints.push_back(r);
    }
    {
        // (The future's destructor waits for the right eye's also when the left eye's fails.)
        auto rightRefined = std::async(std::launch::async, [&] { RefineCorners(rightGrey, rightPoints); });
        RefineCorners(leftGrey, leftPoints);
        rightRefined.get();
    }
    std::vector<Match> matches(leftPoints.size());
    for (std::size_t i = 0; i < matches.size(); ++i)
        matches[i] = {frame.ToModel(leftPoints[i]), frame.ToModel(rightPoints[i])};

    PairCorrection correction;
    correction.keystone = settings.keystone;
    correction.features = static_cast<int>(matches.size());
    const int unknowns = settings.keystone ? 5 : 3;
    const auto tooFewMatches = [&](std::size_t agreeing) {
        return AlignError("too few features match between the eyes (" + std::to_string(agreeing) + " of " +
                          std::to_string(matches.size()) + "): the two pictures do not show the same scene");
    };
    if (static_cast<int>(matches.size()) < kLeastInliers) throw tooFewMatches(0);
    Row row;
    const std::vector<int> inliers = FitRobustly(matches, unknowns, kInlierRows * frame.workY / frame.unit, row);
    correction.inliers = static_cast<int>(inliers.size());
    if (static_cast<int>(inliers.size()) < kLeastInliers ||
        static_cast<double>(inliers.size()) < kLeastInlierShare * static_cast<double>(matches.size()))
        throw tooFewMatches(inliers.size());

    const double a = row[0], b = row[1], c = row[2];
    const double e = settings.keystone ? row[3] : 0, f = settings.keystone ? row[4] : 0;
    const Matrix g(b, -a, 0, a, b, c, e, f, 1);
    correction.rotationDegrees = std::atan2(a, b) * 180.0 / CV_PI;
    correction.scale = 1.0 / std::hypot(a, b);
    correction.verticalPixels = -c * frame.unit;
    const double halfWidth = frame.width / 2.0 / frame.unit, halfHeight = frame.height / 2.0 / frame.unit;
    for (const double x : {-halfWidth, halfWidth}) {
        for (const double y : {-halfHeight, halfHeight}) {
            const double affine = a * x + b * y + c;
            const double keystoned = affine / (e * x + f * y + 1);
            correction.keystonePixels = std::max(correction.keystonePixels, std::abs(keystoned - affine) * frame.unit);
        }
    }
    if (std::abs(correction.rotationDegrees) > kMostDegrees || correction.scale < kLeastScale ||
        correction.scale > kMostScale || std::abs(correction.verticalPixels) > kMostVerticalShare * frame.height ||
        correction.keystonePixels > kMostVerticalShare * frame.height)
        throw AlignError("the matches call for a rotation of " + Fixed(correction.rotationDegrees, 1) +
                         "°, a scale of " + Fixed(correction.scale, 2) +
                         ": the two pictures do not show the same scene");

    // Each eye half of the way; then the rows' remaining offset (the disparity seen through the
    // half turn) shared out, so that the matches' rows agree in the median.
    const Matrix half = SquareRoot(g);
    Matrix leftMap = half.inv(), rightMap = half;
    std::vector<double> offsets;
    for (const int i : inliers) {
        const Match& m = matches[static_cast<std::size_t>(i)];
        offsets.push_back(Apply(rightMap, m.right).y - Apply(leftMap, m.left).y);
    }
    std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2), offsets.end());
    const double offset = offsets[offsets.size() / 2];
    leftMap = Shift(0, offset / 2) * leftMap;
    rightMap = Shift(0, -offset / 2) * rightMap;

    // The largest rectangle of the eyes' aspect about the centre whose corners both corrected
    // eyes cover (each corrected eye is a convex quadrilateral).
    const Matrix leftBack = leftMap.inv(), rightBack = rightMap.inv();
    const double edgeX = frame.centreX / frame.unit, edgeY = frame.centreY / frame.unit;
    const auto covered = [&](double halfSide) {
        const double hx = halfSide, hy = halfSide * frame.height / frame.width;
        for (const double x : {-hx, hx}) {
            for (const double y : {-hy, hy}) {
                for (const Matrix* back : {&leftBack, &rightBack}) {
                    const cv::Point2d p = Apply(*back, {x, y});
                    if (!(std::abs(p.x) <= edgeX && std::abs(p.y) <= edgeY)) return false;
                }
            }
        }
        return true;
    };
    double inside = 0, outside = edgeX + 1e-9;
    for (int i = 0; i < 60; ++i) {
        const double middle = (inside + outside) / 2;
        (covered(middle) ? inside : outside) = middle;
    }
    const int multiple = std::max(1, settings.sizeMultiple);
    const double width = 2 * inside * frame.unit + 1;
    correction.outWidth = static_cast<int>(width) / multiple * multiple;
    correction.outHeight =
        static_cast<int>(std::min(width * frame.height / frame.width, 2 * inside * frame.height / frame.width * frame.unit + 1)) /
        multiple * multiple;
    if (correction.outWidth < kLeastSideShare * frame.width || correction.outHeight < kLeastSideShare * frame.height ||
        correction.outWidth < multiple || correction.outHeight < multiple)
        throw AlignError("the corrected eyes share too little of the picture");

    // Output pixel -> model coordinates -> the eye's model coordinates -> the eye's pixel.
    const Matrix toModel(1 / frame.unit, 0, -(correction.outWidth - 1) / 2.0 / frame.unit, 0, 1 / frame.unit,
                         -(correction.outHeight - 1) / 2.0 / frame.unit, 0, 0, 1);
    const Matrix toPixels(frame.unit, 0, frame.centreX, 0, frame.unit, frame.centreY, 0, 0, 1);
    const Matrix leftSource = toPixels * leftBack * toModel, rightSource = toPixels * rightBack * toModel;
    for (int i = 0; i < 9; ++i) {
        correction.leftSource[static_cast<std::size_t>(i)] = leftSource.val[i] / leftSource.val[8];
        correction.rightSource[static_cast<std::size_t>(i)] = rightSource.val[i] / rightSource.val[8];
    }
    return correction;
}

// OpenCV's own failures (running out of memory) leave through the interface's error.
template <typename Body>
auto Translated(Body&& body) {
    try {
        return body();
    } catch (const cv::Exception& e) {
        throw AlignError(e.what());
    }
}

}  // namespace

bool FullAlignmentAvailable() { return true; }

PairCorrection MeasureCorrection(const RgbView& left, const RgbView& right, const AlignSettings& settings) {
    // The measurement runs its own two threads (one an eye, then half the matches each); OpenCV's
    // pool of threads beside them only adds their waiting to the time the processors spend.
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(1); });
    return Translated([&] { return Measure(left, right, settings); });
}

}  // namespace veltrane::align
