// Compression through the engine's compressed BLOB stream against the libraries called directly on
// the same blocks: compression ratio, MB/s for writing and reading a value, and the cost of the
// stream layer (stream time / direct time). PPMd has no outside reference: its direct line is our
// own coder without the stream. Usage: bench_compression [MiB per data set, default 2]
#include <bzlib.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/memory_manager.h"
#include "engine/tables/compressed_blob_stream.h"
#include "engine/tables/ppmd.h"

using namespace viz;

namespace {

// Text: words of a Zipf-like vocabulary in lines, like lyrics and memo fields.
std::vector<uint8_t> MakeText(size_t size) {
  std::mt19937 rng(1);
  std::vector<std::string> words;
  for (int i = 0; i < 3000; i++) {
    std::string w;
    int len = 2 + static_cast<int>(rng() % 8);
    for (int k = 0; k < len; k++) w += static_cast<char>('a' + rng() % 26);
    words.push_back(w);
  }
  std::string text;
  while (text.size() < size) {
    double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    text += words[static_cast<size_t>(std::pow(3000.0, u)) - 1];
    text += (rng() % 9 == 0) ? "\n" : " ";
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

// Binary: fixed-size records of counters, small integers, doubles and some random bytes.
std::vector<uint8_t> MakeBinary(size_t size) {
  std::mt19937 rng(2);
  std::vector<uint8_t> data;
  data.reserve(size);
  for (uint32_t id = 0; data.size() < size; id++) {
    uint8_t record[48] = {};
    std::memcpy(record, &id, 4);
    uint16_t small = static_cast<uint16_t>(rng() % 100);
    std::memcpy(record + 4, &small, 2);
    double value = (rng() % 100000) / 100.0;
    std::memcpy(record + 8, &value, 8);
    for (int k = 16; k < 24; k++) record[k] = static_cast<uint8_t>(rng());
    std::memcpy(record + 24, "ABCDEFGH", 8);
    data.insert(data.end(), record, record + 48);
  }
  data.resize(size);
  return data;
}

double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Direct {
  double compress = 0;
  double decompress = 0;
  size_t packed = 0;
};

// The library on the same blocks the stream makes, without the stream.
Direct RunDirect(uint8_t algorithm, int mode, const std::vector<uint8_t>& data, size_t blockSize) {
  Direct result;
  std::vector<std::vector<uint8_t>> blocks;
  result.compress = Seconds([&] {
    for (size_t done = 0; done < data.size(); done += blockSize) {
      size_t n = std::min(blockSize, data.size() - done);
      std::vector<uint8_t> out(n + n / 10 + 600);
      if (algorithm == acaZlib) {
        uLongf len = out.size();
        compress2(out.data(), &len, data.data() + done, n, mode);
        out.resize(len);
      } else if (algorithm == acaBZip) {
        unsigned int len = static_cast<unsigned int>(out.size());
        BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &len,
                                 const_cast<char*>(reinterpret_cast<const char*>(data.data() + done)),
                                 static_cast<unsigned int>(n), mode, 0, 0);
        out.resize(len);
      } else {
        void* coded = nullptr;
        size_t len = 0;
        PpmdCompress(data.data() + done, n, PpmdParametersForMode(mode), n + n / 20 + 50, coded, len);
        out.assign(static_cast<uint8_t*>(coded), static_cast<uint8_t*>(coded) + len);
        MemoryManager().FreeAndNillMem(coded);
      }
      result.packed += out.size();
      blocks.push_back(std::move(out));
    }
  });
  std::vector<uint8_t> back(blockSize);
  result.decompress = Seconds([&] {
    for (auto& block : blocks) {
      if (algorithm == acaZlib) {
        uLongf len = back.size();
        uncompress(back.data(), &len, block.data(), block.size());
      } else if (algorithm == acaBZip) {
        unsigned int len = static_cast<unsigned int>(back.size());
        BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(back.data()), &len,
                                   reinterpret_cast<char*>(block.data()),
                                   static_cast<unsigned int>(block.size()), 0, 0);
      } else {
        size_t len = 0;
        PpmdDecompress(block.data(), block.size(), back.data(), back.size(), len);
      }
    }
  });
  return result;
}

// Writes `data` as a new value in pieces of `piece` bytes (0: one call) and returns the time.
double WriteValue(TABSMemoryStream& inner, const TABSBLOBDescriptor& descriptor,
                  const std::vector<uint8_t>& data, size_t piece, TABSBLOBDescriptor& stored) {
  inner.SetSize(0);
  return Seconds([&] {
    TABSCompressedBLOBStream stream(inner, true, descriptor);
    size_t step = piece == 0 ? data.size() : piece;
    for (size_t done = 0; done < data.size(); done += step)
      stream.Write(data.data() + done, static_cast<int64_t>(std::min(step, data.size() - done)));
    stored = stream.Descriptor();
  });
}

void Run(const char* kind, const std::vector<uint8_t>& data, uint8_t algorithm, int mode, bool appends) {
  const double mb = static_cast<double>(data.size()) / (1 << 20);
  TABSBLOBDescriptor descriptor;
  descriptor.CompressionAlgorithm = algorithm;
  descriptor.CompressionMode = static_cast<uint8_t>(mode);
  TABSMemoryStream inner;
  TABSBLOBDescriptor stored;
  double writeTime = WriteValue(inner, descriptor, data, 0, stored);
  std::vector<uint8_t> back(data.size());
  // Read back in 64 KiB pieces as a dataset's BLOB stream would.
  double readTime = Seconds([&] {
    TABSCompressedBLOBStream stream(inner, false, stored);
    for (size_t done = 0; done < data.size(); done += 65536)
      stream.Read(back.data() + done, static_cast<int64_t>(std::min<size_t>(65536, data.size() - done)));
  });
  if (back != data) std::printf("ROUND TRIP FAILED ");
  Direct direct = RunDirect(algorithm, mode, data, static_cast<size_t>(stored.BlockSize));
  std::printf(
      "%-6s %-4s %d | ratio %5.3f (direct %5.3f) | write %7.2f MB/s, direct %7.2f, cost x%.2f | read %7.2f "
      "MB/s, "
      "direct %7.2f, cost x%.2f\n",
      kind, CompressionAlgorithmName(algorithm), mode, static_cast<double>(inner.Size()) / data.size(),
      static_cast<double>(direct.packed) / data.size(), mb / writeTime, mb / direct.compress,
      writeTime / direct.compress, mb / readTime, mb / direct.decompress, readTime / direct.decompress);
  if (appends) {
    // Appending in small pieces recompresses the growing last block on every call.
    double appendTime = WriteValue(inner, descriptor, data, 65536, stored);
    std::printf("%-6s %-4s %d | appends of 64 KiB: %7.2f MB/s, cost x%.2f over direct\n", kind,
                CompressionAlgorithmName(algorithm), mode, mb / appendTime, appendTime / direct.compress);
  }
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 2;
  if (mib == 0) mib = 2;
  std::vector<uint8_t> text = MakeText(mib << 20);
  std::vector<uint8_t> binary = MakeBinary(mib << 20);
  std::printf("compressed BLOB stream vs. the library on the same blocks, %zu MiB per data set\n", mib);
  struct Config {
    uint8_t algorithm;
    int mode;
  };
  const Config configs[] = {{acaZlib, 1}, {acaZlib, 6}, {acaZlib, 9}, {acaBZip, 1}, {acaBZip, 9},
                            {acaPPM, 1},  {acaPPM, 4},  {acaPPM, 6},  {acaPPM, 9}};
  for (const auto& data : {std::make_pair("text", &text), std::make_pair("binary", &binary)})
    for (const Config& config : configs)
      Run(data.first, *data.second, config.algorithm, config.mode,
          config.mode == 1 && config.algorithm == acaZlib);
  return 0;
}
