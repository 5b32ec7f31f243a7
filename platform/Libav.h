// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tavrisk {

// FFmpeg's libraries are loaded on their first use, not when the program starts: with the
// hundred-odd libraries they depend on, loading them takes tens of milliseconds, and most
// commands never use them.
enum class LibavLibrary { kAvutil, kAvcodec, kAvformat, kSwresample, kCount };

// Every FFmpeg function the program calls, with its library.
#define TAVRISK_LIBAV_CALLS(CALL)                       \
    CALL(kAvutil, av_buffer_pool_get)                   \
    CALL(kAvutil, av_buffer_pool_init)                  \
    CALL(kAvutil, av_buffer_pool_uninit)                \
    CALL(kAvutil, av_channel_layout_channel_from_index) \
    CALL(kAvutil, av_channel_layout_default)            \
    CALL(kAvutil, av_channel_layout_index_from_channel) \
    CALL(kAvutil, av_channel_layout_uninit)             \
    CALL(kAvutil, av_frame_alloc)                       \
    CALL(kAvutil, av_frame_free)                        \
    CALL(kAvutil, av_frame_unref)                       \
    CALL(kAvutil, av_log_format_line2)                  \
    CALL(kAvutil, av_log_set_callback)                  \
    CALL(kAvutil, av_mallocz)                           \
    CALL(kAvutil, av_opt_get_double)                    \
    CALL(kAvutil, av_opt_set_double)                    \
    CALL(kAvcodec, av_packet_alloc)                     \
    CALL(kAvcodec, av_packet_free)                      \
    CALL(kAvcodec, av_packet_unref)                     \
    CALL(kAvcodec, avcodec_alloc_context3)              \
    CALL(kAvcodec, avcodec_find_decoder)                \
    CALL(kAvcodec, avcodec_flush_buffers)               \
    CALL(kAvcodec, avcodec_free_context)                \
    CALL(kAvcodec, avcodec_open2)                       \
    CALL(kAvcodec, avcodec_receive_frame)               \
    CALL(kAvcodec, avcodec_send_packet)                 \
    CALL(kAvcodec, avcodec_version)                     \
    CALL(kAvformat, av_find_input_format)               \
    CALL(kAvformat, av_read_frame)                      \
    CALL(kAvformat, avformat_alloc_context)             \
    CALL(kAvformat, avformat_close_input)               \
    CALL(kAvformat, avformat_find_stream_info)          \
    CALL(kAvformat, avformat_index_get_entries_count)   \
    CALL(kAvformat, avformat_index_get_entry)           \
    CALL(kAvformat, avformat_open_input)                \
    CALL(kAvformat, avformat_version)                   \
    CALL(kAvformat, avio_seek)                          \
    CALL(kAvformat, avio_size)                          \
    CALL(kSwresample, swr_alloc_set_opts2)              \
    CALL(kSwresample, swr_convert)                      \
    CALL(kSwresample, swr_free)                         \
    CALL(kSwresample, swr_init)

// The functions, once loaded: each member has its function's name and type.
struct LibavCalls {
#define TAVRISK_LIBAV_MEMBER(library, name) decltype(&::name) name = nullptr;
    TAVRISK_LIBAV_CALLS(TAVRISK_LIBAV_MEMBER)
#undef TAVRISK_LIBAV_MEMBER
};

// The file names of the libraries, by LibavLibrary: those of the versions the program was
// built with.
constexpr auto kLibavLibraries = static_cast<std::size_t>(LibavLibrary::kCount);
using LibavFileNames = std::array<std::string, kLibavLibraries>;
LibavFileNames LibavBuiltFileNames();

// What is needed of FFmpeg: its decoders and sample rate conversion (libavutil, libavcodec,
// libswresample), or its containers too (libavformat, which brings a third as many libraries
// again).
enum class LibavUse { kDecoders, kContainers };

// Loads the libraries of `use` (libavformat alone for kContainers) that `files` names and
// finds their functions, leaving the other members of `calls` as they are. False, with
// `problem` naming the library or the function, when one is missing.
bool LoadLibavCalls(const LibavFileNames& files, LibavUse use, LibavCalls& calls,
                    std::string& problem);

// The functions `use` needs, loaded once for the whole process on the first call
// (thread-safe); nullptr when the libraries cannot be loaded, which the library log then says.
const LibavCalls* LoadLibav(LibavUse use = LibavUse::kDecoders);
// Why LoadLibav(use) gave nullptr; empty when it did not.
const std::string& LibavLoadProblem(LibavUse use = LibavUse::kDecoders);

// The functions, for code that runs only after LoadLibav succeeded for what it calls: an
// object that got its FFmpeg objects through them.
const LibavCalls& Libav();

}  // namespace tavrisk
