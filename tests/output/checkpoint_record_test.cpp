#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "output/checkpoint_record.hpp"

using erdos::checkpoint_record;

namespace {

checkpoint_record sample() {
    checkpoint_record r;
    r.p_min = 1000000000000;
    r.has_p_min = true;
    r.p_max = 1000000100000;
    r.c_max = 255;
    r.durable_bytes = 40117;
    r.rows = 434;
    r.last_p = 1000000099913;
    r.crc32c = 3735928559;
    return r;
}

std::string temp_path(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("erdos-record-test-") + std::to_string(::getpid()) + "-" + name))
        .string();
}

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(CheckpointRecord, RoundTripsThroughTextAndFile) {
    const checkpoint_record r = sample();
    const std::string text = erdos::format_checkpoint_record(r);
    EXPECT_EQ(text,
              "erdos-straus progress 2\np_min 1000000000000\nhas_p_min 1\np_max 1000000100000\nc_max 255\n"
              "durable_bytes 40117\nrows 434\nlast_p 1000000099913\ncrc32c 3735928559\nend\n");
    checkpoint_record back;
    ASSERT_TRUE(erdos::parse_checkpoint_record(text, back));
    EXPECT_EQ(erdos::format_checkpoint_record(back), text);

    // A record of the format before the checksum is read, and has none.
    const std::string earlier =
        "erdos-straus progress 1\np_min 1000000000000\nhas_p_min 1\np_max 1000000100000\nc_max 255\n"
        "durable_bytes 40117\nrows 434\nlast_p 1000000099913\nend\n";
    ASSERT_TRUE(erdos::parse_checkpoint_record(earlier, back));
    EXPECT_FALSE(back.has_crc);
    EXPECT_EQ(back.rows, 434);
    EXPECT_EQ(erdos::format_checkpoint_record(back), earlier);
    EXPECT_FALSE(erdos::parse_checkpoint_record(
        "erdos-straus progress 1\np_min 0\nhas_p_min 0\np_max 200\nc_max 127\ndurable_bytes 0\nrows 0\n"
        "last_p 0\ncrc32c 0\nend\n", back));  // the earlier format with a checksum line

    // Nothing durable yet; a negative shift bound is a configuration too.
    checkpoint_record empty;
    empty.p_max = 200;
    empty.c_max = -5;
    ASSERT_TRUE(erdos::parse_checkpoint_record(erdos::format_checkpoint_record(empty), back));
    EXPECT_EQ(back.c_max, -5);
    EXPECT_EQ(back.rows, 0);

    const std::string path = temp_path("file");
    ASSERT_EQ(erdos::write_checkpoint_record(path, r), 0);
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
    ASSERT_EQ(erdos::read_checkpoint_record(path, back), 0);
    EXPECT_EQ(erdos::format_checkpoint_record(back), text);
    // A second write replaces the first whole.
    ASSERT_EQ(erdos::write_checkpoint_record(path, empty), 0);
    ASSERT_EQ(erdos::read_checkpoint_record(path, back), 0);
    EXPECT_EQ(back.p_max, 200);
    erdos::remove_checkpoint_record(path);
    EXPECT_EQ(erdos::read_checkpoint_record(path, back), ENOENT);
}

TEST(CheckpointRecord, ConfigurationsDifferInAnyOfTheirFields) {
    const checkpoint_record a = sample();
    checkpoint_record b = a;
    b.durable_bytes = 0;
    b.rows = 0;
    b.last_p = 0;
    EXPECT_TRUE(erdos::same_configuration(a, b));  // the checkpoint is no part of it
    for (int field = 0; field < 4; ++field) {
        b = a;
        if (field == 0) b.p_min = 0;
        if (field == 1) b.has_p_min = false;
        if (field == 2) b.p_max += 1;
        if (field == 3) b.c_max = 127;
        EXPECT_FALSE(erdos::same_configuration(a, b)) << field;
    }
}

TEST(CheckpointRecord, TornOrGarbledRecordsAreRefused) {
    const std::string text = erdos::format_checkpoint_record(sample());
    checkpoint_record untouched = sample();
    untouched.rows = 7;
    auto refused = [&](const std::string& bad) {
        checkpoint_record r = untouched;
        const bool parsed = erdos::parse_checkpoint_record(bad, r);
        EXPECT_EQ(r.rows, 7) << bad;  // left as it was
        return !parsed;
    };
    for (std::size_t cut = 0; cut < text.size(); ++cut) EXPECT_TRUE(refused(text.substr(0, cut))) << cut;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    EXPECT_TRUE(refused(text + "\n"));                                    // bytes after the end
    EXPECT_TRUE(refused(replaced("progress 2", "progress 3")));            // another format
    EXPECT_TRUE(refused(replaced("crc32c 3735928559", "crc32c 4294967296")));  // beyond 32 bits
    EXPECT_TRUE(refused(replaced("c_max 255", "c_max 0255")));             // not plain decimal
    EXPECT_TRUE(refused(replaced("c_max 255", "c_max +255")));
    EXPECT_TRUE(refused(replaced("c_max 255", "c_max 2147483648")));       // beyond 32 bits
    EXPECT_TRUE(refused(replaced("rows 434", "rows 4x4")));
    EXPECT_TRUE(refused(replaced("has_p_min 1", "has_p_min 2")));
    EXPECT_TRUE(refused(replaced("p_max 1000000100000\nc_max 255", "c_max 255\np_max 1000000100000")));
    EXPECT_TRUE(refused(replaced("last_p 1000000099913", "last_p 1000000100001")));  // beyond p_max
    EXPECT_TRUE(refused(replaced("durable_bytes 40117", "durable_bytes 434")));      // fewer bytes than rows
    EXPECT_TRUE(refused(replaced("rows 434", "rows 0")));                  // rows 0 but a last prime
    EXPECT_TRUE(refused(replaced("p_max 1000000100000", "p_max 9999")));   // p_max below p_min
    EXPECT_TRUE(refused(replaced("durable_bytes 40117\nrows 434\nlast_p 1000000099913",
                                 "durable_bytes 0\nrows 0\nlast_p 0")));    // a checksum of nothing but 0

    // The same from a file: damaged (EINVAL) is told apart from missing (ENOENT).
    const std::string path = temp_path("garbled");
    put(path, text.substr(0, text.size() / 2));
    checkpoint_record r;
    EXPECT_EQ(erdos::read_checkpoint_record(path, r), EINVAL);
    put(path, std::string(100000, 'x'));
    EXPECT_EQ(erdos::read_checkpoint_record(path, r), EINVAL);
    erdos::remove_checkpoint_record(path);
}
