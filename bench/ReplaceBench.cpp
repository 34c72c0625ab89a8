// Throughput of the line replacement over one generated text of 50 MB: Czech prose in
// lines of a few words with CR LF ends (LF for the replacement straight from the bytes), the search
// word about once in fifty words in three letter cases, and a few long lines. Reported as bytes of
// input per second. The search word is kocour in windows-1250 and žížala, with two-byte letters, in
// UTF-8.
//
//   build-*/bench/quorvel_bench_replace [--benchmark_repetitions=5]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/LineReplace.h"
#include "engine/Lines.h"
#include "platform/CodePage.h"

namespace quorvel {
namespace {

constexpr size_t kTextBytes = 50u * 1000u * 1000u;

const char* const kVocabulary =
    "příliš žluťoučký kůň úpěl ďábelské ódy a když se večer vrátil domů řekl že zítra "
    "půjdeme spolu na procházku podél řeky kde rostou vysoké stromy a na louce se pasou "
    "krávy v údolí stojí starý mlýn jehož kolo se točí už sto let děti běží ze školy";

std::vector<std::string> Words(const platform::CodePage& page) {
  std::vector<std::string> words;
  std::string text = page.fromUtf8(kVocabulary);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string SearchWord(const platform::CodePage& page) {
  return page.isUtf8() ? "žížala" : "kocour";
}

// The same seed always gives the same text.
std::string GenerateText(const platform::CodePage& page) {
  const std::vector<std::string> words = Words(page);
  const std::string searchWords[] = {
      SearchWord(page), page.isUtf8() ? "Žížala" : "Kocour", page.upper(SearchWord(page))};
  std::mt19937 rng(20261210);
  std::string text;
  text.reserve(kTextBytes + 30000);
  while (text.size() < kTextBytes) {
    const int count = rng() % 400 == 0 ? 3000 : 4 + int(rng() % 12);
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += rng() % 50 == 0 ? searchWords[rng() % 3] : words[rng() % words.size()];
    }
    text += "\r\n";
  }
  return text;
}

const LineList& Input(const platform::CodePage& page) {
  static LineList windows;
  static LineList utf8;
  LineList& list = page.isUtf8() ? utf8 : windows;
  if (list.empty()) list.assignSplit(GenerateText(page));
  return list;
}

const platform::CodePage& PageNamed(int64_t utf8) {
  static const platform::CodePage windows("windows-1250");
  static const platform::CodePage unicode("UTF-8");
  return utf8 ? unicode : windows;
}

// The same text with LF line ends, as most files on Linux have them.
const std::string& LfText(const platform::CodePage& page) {
  static std::string windows;
  static std::string utf8;
  std::string& text = page.isUtf8() ? utf8 : windows;
  if (text.empty()) {
    const std::string crlf = GenerateText(page);
    text.reserve(crlf.size());
    for (char c : crlf) {
      if (c != '\r') text += c;
    }
  }
  return text;
}

// Arguments: case sensitive (0 or 1), UTF-8 (0 for windows-1250, 1).
void BM_ReplaceInLines(benchmark::State& state) {
  const bool caseSensitive = state.range(0) != 0;
  const platform::CodePage& page = PageNamed(state.range(1));
  const LineList& input = Input(page);
  LineSearch search = MakeLineSearch(SearchWord(page), "pes", caseSensitive, &page);
  LineList output;
  int32_t hits = 0;
  int32_t lines = 0;
  for (auto _ : state) {
    hits = 0;
    lines = 0;
    bool changed = ReplaceInLines(
        input, output, search, [&] { ++hits; }, [&] { ++lines; });
    benchmark::DoNotOptimize(changed);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.joined().size()));
  state.counters["hits"] = double(hits);
  state.counters["lines"] = double(lines);
}
BENCHMARK(BM_ReplaceInLines)
    ->ArgNames({"case_sensitive", "utf8"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The replacement straight from the bytes of an LF text, as a run makes it for each
// file read whole: the text goes in files of about 100 kB, the size of the benchmark
// tree's, whose bytes stay in the cache as a run's do; the lines are converted on the
// way. Same arguments.
void BM_ReplaceInText(benchmark::State& state) {
  const bool caseSensitive = state.range(0) != 0;
  const platform::CodePage& page = PageNamed(state.range(1));
  const std::string& text = LfText(page);
  std::vector<std::string_view> files;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at + 100000), text.size() - 1) + 1;
    files.push_back(std::string_view(text).substr(at, end - at));
    at = end;
  }
  LineSearch search = MakeLineSearch(SearchWord(page), "pes", caseSensitive, &page);
  platform::ByteBuffer output;
  int32_t hits = 0;
  int32_t lines = 0;
  for (auto _ : state) {
    hits = 0;
    lines = 0;
    for (std::string_view file : files) {
      bool changed = ReplaceInText(
          file, output, search, [&] { ++hits; }, [&] { ++lines; });
      benchmark::DoNotOptimize(changed);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["hits"] = double(hits);
  state.counters["lines"] = double(lines);
}
BENCHMARK(BM_ReplaceInText)
    ->ArgNames({"case_sensitive", "utf8"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Splitting the bytes of a file into lines, the other pass every file costs.
void BM_SplitLines(benchmark::State& state) {
  const std::string text = GenerateText(PageNamed(0));
  LineList list;
  for (auto _ : state) {
    list.assignSplit(text);
    benchmark::DoNotOptimize(list.size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel

BENCHMARK_MAIN();
