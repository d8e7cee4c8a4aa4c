// Replays a fuzz target over the files of its regression corpus, so every build (not only
// clang ones) runs the inputs that once crashed a parser.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int count = 0;
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path root(argv[a]);
    if (std::filesystem::is_directory(root)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
          failures += replay_file(entry.path());
          ++count;
        }
      }
    } else {
      failures += replay_file(root);
      ++count;
    }
  }
  // An empty run proves nothing: a corpus that vanished must fail the test.
  if (count == 0) {
    std::fprintf(stderr, "no corpus files found\n");
    return 1;
  }
  std::printf("replayed %d inputs\n", count);
  return failures == 0 ? 0 : 1;
}
