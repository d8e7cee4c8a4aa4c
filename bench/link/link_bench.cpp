// The cost of a full memory download on our side: checking and decoding the largest data answer,
// and receiving it chunk by chunk as the serial port hands it over.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/downloadsession.h"
#include "link/linkcodec.h"

namespace {

using vkt::link::DownloadSession;

// The largest answer the receive buffer holds: 438 records and the rest of the memory.
const std::string& full_answer() {
  static const std::string answer = [] {
    const std::size_t image_bytes = (vkt::link::kRxBufferSize - 10) / 2;
    std::vector<std::uint8_t> image(image_bytes);
    for (std::size_t i = 0; i < image.size(); ++i) {
      image[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    }
    image[0] = 438 & 0xFF;
    image[1] = 438 >> 8;
    image[2] = 0xF1;
    image[3] = 0x2F;
    return vkt::link::frame_answer(vkt::link::encode_link_bytes(image));
  }();
  return answer;
}

std::string identification(std::uint16_t records) {
  std::string p;
  for (std::uint8_t b : {0, 1, 5, 14, 2}) {
    vkt::link::append_link_byte(p, b);
  }
  vkt::link::append_link_word(p, 12273);
  vkt::link::append_link_word(p, records);
  return vkt::link::frame_answer(p);
}

void BM_CheckAndDecodeFullAnswer(benchmark::State& st) {
  const std::string& answer = full_answer();
  vkt::ProgramState state;
  for (auto _ : st) {
    const bool ok = vkt::link::accept_data_answer(answer.data(), answer.size(), state);
    benchmark::DoNotOptimize(ok);
    if (!ok) {
      st.SkipWithError("answer refused");
    }
  }
  st.counters["chars"] = static_cast<double>(answer.size());
}
BENCHMARK(BM_CheckAndDecodeFullAnswer)->Unit(benchmark::kMillisecond);

// The chunk handler's total time for the whole answer, with the answer's checks and decoding at
// its end; the counters compare the mean cost of a chunk early in the answer with one late in it.
void BM_ReceiveFullAnswerInChunks(benchmark::State& st) {
  const std::string& answer = full_answer();
  const std::string id = identification(438);
  constexpr std::size_t kChunk = 4096;
  vkt::ProgramState state;
  DownloadSession session(state, {"/dev/instrument"});
  double early = 0;
  double late = 0;
  std::size_t rounds = 0;
  for (auto _ : st) {
    st.PauseTiming();
    session.show();
    session.chunk(id.data(), id.size());
    st.ResumeTiming();
    const std::size_t chunks = (answer.size() + kChunk - 1) / kChunk;
    for (std::size_t c = 0; c < chunks; ++c) {
      const auto t0 = std::chrono::steady_clock::now();
      const std::size_t at = c * kChunk;
      auto effects = session.chunk(answer.data() + at, std::min(kChunk, answer.size() - at));
      benchmark::DoNotOptimize(effects);
      const double ns =
          std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
      if (c < chunks / 4) {
        early += ns;
      } else if (c >= chunks * 3 / 4 && c + 1 < chunks) {
        late += ns;
      }
    }
    if (session.phase() != DownloadSession::Phase::Finished || state.image_length == 0) {
      st.SkipWithError("download did not finish");
    }
    ++rounds;
  }
  const double quarter = static_cast<double>((answer.size() / kChunk) / 4) * static_cast<double>(rounds);
  st.counters["early_chunk_us"] = early / quarter / 1000.0;
  st.counters["late_chunk_us"] = late / quarter / 1000.0;
}
BENCHMARK(BM_ReceiveFullAnswerInChunks)->Unit(benchmark::kMillisecond);

}  // namespace
