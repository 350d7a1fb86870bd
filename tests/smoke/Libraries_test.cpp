// Checks that the image libraries and zlib this build links are the ones its headers describe and work.
#include <gtest/gtest.h>

#include <png.h>
#include <stdio.h>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
#include <openjpeg.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Gradient(unsigned width, unsigned height, unsigned channels)
{
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * channels);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            for (unsigned c = 0; c < channels; ++c)
                pixels[(std::size_t(y) * width + x) * channels + c] = std::uint8_t(x * 2 + y * 3 + c * 30);
    return pixels;
}

TEST(Libraries, LinkedLibpngMatchesItsHeader)
{
    // A header from one libpng with the library of another corrupts structures silently.
    EXPECT_EQ(png_access_version_number(), png_uint_32(PNG_LIBPNG_VER));
    EXPECT_EQ(PNG_LIBPNG_VER_MAJOR, 1);
    EXPECT_EQ(PNG_LIBPNG_VER_MINOR, 6);
}

TEST(Libraries, LinkedZlibMatchesItsHeader) { EXPECT_STREQ(zlibVersion(), ZLIB_VERSION); }

TEST(Libraries, ZlibRoundTripRestoresEveryByte)
{
    const auto input = Gradient(97, 31, 3);
    uLongf packedSize = compressBound(uLong(input.size()));
    std::vector<Bytef> packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, input.data(), uLong(input.size()), 9), Z_OK);
    EXPECT_LT(packedSize, input.size());

    std::vector<Bytef> output(input.size());
    uLongf outputSize = uLongf(output.size());
    ASSERT_EQ(uncompress(output.data(), &outputSize, packed.data(), packedSize), Z_OK);
    ASSERT_EQ(outputSize, input.size());
    EXPECT_EQ(std::memcmp(output.data(), input.data(), input.size()), 0);
}

TEST(Libraries, ZlibRejectsTruncatedStream)
{
    const auto input = Gradient(64, 64, 1);
    uLongf packedSize = compressBound(uLong(input.size()));
    std::vector<Bytef> packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, input.data(), uLong(input.size()), 6), Z_OK);

    std::vector<Bytef> output(input.size());
    uLongf outputSize = uLongf(output.size());
    EXPECT_NE(uncompress(output.data(), &outputSize, packed.data(), packedSize / 2), Z_OK);
}

TEST(Libraries, PngRoundTripInMemoryRestoresEveryPixel)
{
    const unsigned width = 37, height = 19;
    const auto input = Gradient(width, height, 4);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t encodedSize = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &encodedSize, 0, input.data(), 0, nullptr));
    std::vector<std::uint8_t> encoded(encodedSize);
    ASSERT_TRUE(png_image_write_to_memory(&image, encoded.data(), &encodedSize, 0, input.data(), 0, nullptr))
        << image.message;
    png_image_free(&image);

    png_image back{};
    back.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&back, encoded.data(), encodedSize)) << back.message;
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, height);
    back.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> output(PNG_IMAGE_SIZE(back));
    ASSERT_TRUE(png_image_finish_read(&back, nullptr, output.data(), 0, nullptr)) << back.message;
    EXPECT_EQ(output, input);
}

TEST(Libraries, JpegRoundTripInMemoryStaysClose)
{
    const unsigned width = 48, height = 32;
    const auto input = Gradient(width, height, 3);

    jpeg_compress_struct cinfo{};
    jpeg_error_mgr cerr{};
    cinfo.err = jpeg_std_error(&cerr);
    jpeg_create_compress(&cinfo);
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    jpeg_mem_dest(&cinfo, &encoded, &encodedSize);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&input[std::size_t(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    ASSERT_GT(encodedSize, 2u);
    EXPECT_EQ(encoded[0], 0xFF);
    EXPECT_EQ(encoded[1], 0xD8);

    jpeg_decompress_struct dinfo{};
    jpeg_error_mgr derr{};
    dinfo.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, encoded, encodedSize);
    ASSERT_EQ(jpeg_read_header(&dinfo, TRUE), JPEG_HEADER_OK);
    jpeg_start_decompress(&dinfo);
    ASSERT_EQ(dinfo.output_width, width);
    ASSERT_EQ(dinfo.output_height, height);
    ASSERT_EQ(dinfo.output_components, 3);
    std::vector<std::uint8_t> output(input.size());
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPROW row = &output[std::size_t(dinfo.output_scanline) * width * 3];
        jpeg_read_scanlines(&dinfo, &row, 1);
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    free(encoded);

    // Quality 100 with chroma subsampling still loses a little on a smooth gradient.
    int worst = 0;
    for (std::size_t i = 0; i < input.size(); ++i)
        worst = std::max(worst, std::abs(int(input[i]) - int(output[i])));
    EXPECT_LE(worst, 8);
}

TEST(Libraries, OpenJpegIsVersion25AndCreatesCodecs)
{
    EXPECT_EQ(std::string(opj_version()).substr(0, 4), "2.5.");
    for (auto format : {OPJ_CODEC_J2K, OPJ_CODEC_JP2}) {
        opj_codec_t* decoder = opj_create_decompress(format);
        ASSERT_NE(decoder, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        EXPECT_TRUE(opj_setup_decoder(decoder, &parameters));
        opj_destroy_codec(decoder);
    }
}

}  // namespace
