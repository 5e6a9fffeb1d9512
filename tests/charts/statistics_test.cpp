#include "charts/statistics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charts/statistics_chart.h"
#include "support/fixed_metrics.h"

namespace tavik {
namespace {

const test::FixedMetrics kMetrics;

// The autocovariances written out term by term in 128-bit arithmetic.
std::vector<int64_t> reference_autocovariances(const std::vector<uint32_t>& x, int64_t lags) {
  __extension__ using Int128 = __int128;
  const auto n = int64_t(x.size());
  Int128 total = 0;
  for (const uint32_t v : x) total += v;
  const auto mean = int64_t(total / n);
  std::vector<int64_t> r;
  for (int64_t lag = 0; lag < lags; ++lag) {
    Int128 sum = 0;
    for (int64_t i = 0; i + lag < n; ++i) {
      sum +=
          Int128(int64_t(x[size_t(i)]) - mean) * (int64_t(x[size_t(i + lag)]) - mean) / (n - lag);
    }
    r.push_back(int64_t(sum));
  }
  return r;
}

std::vector<int64_t> signed_values(const StatResult& result) {
  std::vector<int64_t> values;
  for (size_t l = 0; l < result.values.size(); ++l) {
    values.push_back(result.negative[l] ? -result.values[l] : result.values[l]);
  }
  return values;
}

std::vector<std::string> texts_at_x(const ChartScene& scene, int x) {
  std::vector<std::string> found;
  for (const Primitive& item : scene.items) {
    if (const auto* text = std::get_if<Text>(&item); text && text->x == x) {
      found.push_back(text->text);
    }
  }
  return found;
}

const Polyline* curve_of(const ChartScene& scene) {
  for (const Primitive& item : scene.items) {
    if (const auto* curve = std::get_if<Polyline>(&item)) return curve;
  }
  return nullptr;
}

TEST(Statistics, SequenceLeavesOutFilteredAndUnknownFrames) {
  StoreData data;
  const uint32_t types[] = {1, 2, 3, 7, 0, 2};
  for (uint32_t f = 0; f < 6; ++f) {
    store_at(data.frame_types, f, types[f]);
    store_at(data.frame_bytes, f, 10 * (f + 1));
  }
  data.last_frame = 5;
  StatSettings settings{StatSource::kFrames};
  settings.filter_p = true;
  EXPECT_EQ(stat_sequence(data, settings), (std::vector<uint32_t>{10, 30}));
  data.open_gop = 2;
  data.gop_bytes = {5, 6, 7};
  EXPECT_EQ(stat_sequence(data, {StatSource::kGops}), (std::vector<uint32_t>{5, 6}));
  data.slice_count = 3;
  data.slice_bytes = {1, 2};  // never grown to the counter
  EXPECT_EQ(stat_sequence(data, {StatSource::kSlices}), (std::vector<uint32_t>{1, 2}));
}

TEST(Statistics, HistogramIntervalsClosedOnTheRight) {
  const StatResult result =
      compute_histogram(std::vector<uint32_t>{100, 200, 300, 400, 500}, StatSource::kGops, 4);
  EXPECT_EQ(result.values, (std::vector<int64_t>{2, 1, 1, 1}));
  EXPECT_EQ(result.minimum, 100u);
  EXPECT_EQ(result.maximum, 500u);
  EXPECT_EQ(result.top, 3);
}

TEST(Statistics, AutocorrelationWorkedNumbersAndThousands) {
  StatResult result =
      compute_autocorrelation(std::vector<uint32_t>{10, 20, 10, 20}, StatSource::kFrames, 100);
  EXPECT_EQ(result.points, 3);
  EXPECT_EQ(result.mean, 15);
  EXPECT_EQ(result.variance, 24);
  EXPECT_EQ(signed_values(result), (std::vector<int64_t>{24, -24, 24, -25}));
  EXPECT_EQ(result.negative_max, 25);
  EXPECT_FALSE(result.thousands);
  // Variance 2250000: everything in thousands.
  result = compute_autocorrelation(std::vector<uint32_t>{0, 3000, 0, 3000}, StatSource::kFrames, 1);
  EXPECT_TRUE(result.thousands);
  EXPECT_EQ(result.variance, 2250);
  EXPECT_EQ(signed_values(result), (std::vector<int64_t>{2250, -2250}));
}

TEST(Statistics, LagClampsBySource) {
  std::vector<uint32_t> values(30);
  for (size_t i = 0; i < values.size(); ++i) values[i] = uint32_t(i * i % 17) * 100;
  struct Case {
    StatSource source;
    int32_t points;
    size_t last_lag;
  };
  for (const Case& c : {Case{StatSource::kGops, 30, 29}, Case{StatSource::kFrames, 29, 29},
                        Case{StatSource::kSlices, 29, 28}}) {
    const StatResult result = compute_autocorrelation(values, c.source, 100);
    EXPECT_EQ(result.points, c.points);
    const std::vector<int64_t> expected =
        reference_autocovariances(values, int64_t(c.last_lag) + 1);
    std::vector<int64_t> computed = signed_values(result);
    EXPECT_EQ(computed.back(), c.last_lag + 1 < computed.size() ? 0 : expected.back());
    computed.resize(c.last_lag + 1);
    EXPECT_EQ(computed, expected) << int(c.source);
  }
}

TEST(Statistics, ExactForLongAndWideSequences) {
  // Deviations beyond 2^31 take the wide path; the long run checks the fast division.
  std::vector<uint32_t> wide = {0, 4294967295u, 7, 4000000000u, 1};
  std::vector<uint32_t> long_run(5000);
  for (size_t i = 0; i < long_run.size(); ++i) long_run[i] = uint32_t(i * 2654435761u >> 12);
  for (const auto& values : {wide, long_run}) {
    const StatResult result = compute_autocorrelation(values, StatSource::kGops, 40);
    std::vector<int64_t> expected = reference_autocovariances(values, result.points);
    for (int64_t& r : expected) r /= result.thousands ? 1000 : 1;
    std::vector<int64_t> computed = signed_values(result);
    computed.pop_back();  // lag P is not computed for GOPs
    EXPECT_EQ(computed, expected);
  }
}

TEST(Statistics, UndefinedResultsShowATextInsteadOfACurve) {
  const std::vector<uint32_t> equal = {5, 5, 5};
  const StatResult results[] = {
      compute_histogram({}, StatSource::kGops, 50),
      compute_histogram(equal, StatSource::kGops, 50),
      compute_histogram(equal, StatSource::kGops, 0),
      compute_histogram(equal, StatSource::kGops, kMaxIntervals + 1),
      compute_autocorrelation({}, StatSource::kFrames, 100),
      compute_autocorrelation(equal, StatSource::kFrames, 100),
      compute_autocorrelation(std::vector<uint32_t>{1, 9}, StatSource::kFrames, 0)};
  for (const StatResult& result : results) {
    EXPECT_FALSE(result.problem.empty());
    const ChartScene scene = build_statistics_chart(result, {600, 490, 1600, {}}, kMetrics).scene;
    EXPECT_EQ(curve_of(scene), nullptr);
    EXPECT_EQ(texts_at_x(scene, 150), std::vector<std::string>{result.problem});
    EXPECT_EQ(hit_test(scene, 50, 440).kind, HitKind::kToggle);
  }
}

TEST(StatisticsChart, YLabelsAndScaleTitle) {
  struct Case {
    uint32_t largest;
    std::vector<std::string> labels;
    const char* title;
  };
  const Case cases[] = {{9, {" 0", " 1", " 2"}, "Number of Gops(x1)"},
                        {99, {" 0", " 5", " 10"}, "Number of Gops(x1)"},
                        {299, {" 0", " 1", " 2"}, "Number of Gops(x10)"}};
  for (const Case& c : cases) {
    std::vector<uint32_t> values(c.largest, 0);
    values.push_back(10);
    const StatResult result = compute_histogram(values, StatSource::kGops, 2);
    // Height 490: baseline 430, plot height 400, 20 rows.
    const ChartScene scene = build_statistics_chart(result, {600, 490, 1600, {}}, kMetrics).scene;
    const std::vector<std::string> labels = texts_at_x(scene, 105);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(labels.begin(), labels.begin() + 3), c.labels);
    EXPECT_EQ(texts_at_x(scene, 142)[1], c.title);
    // The interval centres: x = 140 + k * 225 + 112; the largest count + 1 at the plot's top.
    ASSERT_NE(curve_of(scene), nullptr);
    EXPECT_EQ(curve_of(scene)->points[0],
              (Point{252, int(430 - double(c.largest) / (c.largest + 1) * 400)}));
  }
}

TEST(StatisticsChart, CorrelationLabelsAndCurve) {
  const StatResult result =
      compute_autocorrelation(std::vector<uint32_t>{10, 20, 10, 20}, StatSource::kFrames, 100);
  const StatisticsChart chart = build_statistics_chart(result, {600, 490, 1600, {}}, kMetrics);
  const std::vector<std::string> labels = texts_at_x(chart.scene, 105);
  // Span 49 over 20 rows: step 2; labels from -25/24 upwards.
  ASSERT_GE(labels.size(), 2u);
  EXPECT_EQ(labels[0], "-1,04");
  EXPECT_EQ(labels[1], "-0,95");
  const Polyline* curve = curve_of(chart.scene);
  ASSERT_NE(curve, nullptr);
  ASSERT_EQ(curve->points.size(), 4u);
  EXPECT_EQ(curve->points[0], (Point{140, 30}));
  EXPECT_EQ(curve->points[3], (Point{140 + 3 * 150, 430}));  // -25: the bottom
  EXPECT_EQ(texts_at_x(chart.scene, 340)[0], "Correlation of frames");
  EXPECT_EQ(chart.next_x_extent, 600);  // the last point (590) is inside the window
}

}  // namespace
}  // namespace tavik
