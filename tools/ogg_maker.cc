// SPDX-License-Identifier: MIT
#include "ogg_maker.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace trackmeter {

namespace {

void Append(std::string* out, const ogg_page& page) {
  out->append(reinterpret_cast<const char*>(page.header), page.header_len);
  out->append(reinterpret_cast<const char*>(page.body), page.body_len);
}

}  // namespace

std::string EncodeVorbis(int channels, long rate, long frames, int serial,
                         double pitch, double noise) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.1f) != 0) {
    std::fprintf(stderr, "vorbis encoder refused %d channels at %ld Hz\n",
                 channels, rate);
    std::abort();
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);

  std::string out;
  ogg_packet header, header_comm, header_code;
  vorbis_analysis_headerout(&vd, &vc, &header, &header_comm, &header_code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &header_comm);
  ogg_stream_packetin(&os, &header_code);
  ogg_page og;
  // The audio must start on a page of its own.
  while (ogg_stream_flush(&os, &og) != 0) Append(&out, og);

  uint32_t seed = static_cast<uint32_t>(serial) * 2654435761u + 1;  // noise, the same every time
  constexpr long kChunk = 1024;
  const double pi = std::acos(-1.0);
  for (long done = 0;;) {
    const long n = std::min(kChunk, frames - done);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      for (long i = 0; i < n; ++i) {
        const double t = static_cast<double>(done + i) / rate;
        const double tone = 0.2 * std::sin(2 * pi * pitch * t);
        for (int c = 0; c < channels; ++c) {
          seed = seed * 1664525u + 1013904223u;
          const double hiss = noise * (static_cast<double>(seed >> 8) / (1 << 24) - 0.5);
          buffer[c][i] = static_cast<float>(tone + hiss);
        }
      }
      done += n;
    }
    // Zero samples tell the encoder the stream ends here.
    vorbis_analysis_wrote(&vd, static_cast<int>(std::max(n, 0L)));
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og) != 0) Append(&out, og);
      }
    }
    if (n <= 0) break;
  }
  while (ogg_stream_flush(&os, &og) != 0) Append(&out, og);

  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

std::string WithSerial(const std::string& stream, int serial) {
  std::string out = stream;
  for (std::size_t at = 0; at + 27 <= out.size();) {
    auto* header = reinterpret_cast<unsigned char*>(&out[at]);
    const std::size_t header_len = 27 + header[26];
    std::size_t body_len = 0;
    for (std::size_t i = 27; i < header_len; ++i) body_len += header[i];
    for (int i = 0; i < 4; ++i) header[14 + i] = static_cast<unsigned char>(serial >> (8 * i));
    ogg_page page;
    page.header = header;
    page.header_len = static_cast<long>(header_len);
    page.body = header + header_len;
    page.body_len = static_cast<long>(body_len);
    ogg_page_checksum_set(&page);
    at += header_len + body_len;
  }
  return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace trackmeter
