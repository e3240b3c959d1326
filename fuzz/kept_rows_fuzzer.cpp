// Arbitrary kept files: a checkpoint record or a results row is accepted only
// when it is exactly the text the program writes for what was read, and no
// input, however damaged, crashes the readers or overflows.
//
// Input: a record's text, a NUL byte, then rows separated by line feeds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "output/checkpoint_record.hpp"
#include "output/resume_rows.hpp"
#include "stats/results_rows.hpp"

namespace {

[[noreturn]] void fail(const char* what, std::string_view input) {
    std::fprintf(stderr, "kept_rows_fuzzer: %s: '%.*s'\n", what, static_cast<int>(input.size()), input.data());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view record_text = input.substr(0, split);
    std::string_view rows = split == std::string_view::npos ? std::string_view{} : input.substr(split + 1);

    erdos::checkpoint_record record;
    if (erdos::parse_checkpoint_record(record_text, record) && erdos::format_checkpoint_record(record) != record_text) {
        fail("a record that is not the text written for it", record_text);
    }

    const erdos::row_limits limits{0, std::int64_t{1} << 62, 2147483646};
    while (!rows.empty()) {
        const std::size_t end = rows.find('\n');
        const std::string_view line = rows.substr(0, end);
        rows = end == std::string_view::npos ? std::string_view{} : rows.substr(end + 1);
        erdos::prime_scan scan;
        if (!erdos::parse_results_row(line, scan)) continue;
        std::string again;
        erdos::append_results_row(again, scan);
        if (again.substr(0, again.size() - 1) != line) fail("a row that is not the text written for it", line);
        (void)erdos::check_results_row(scan, limits);
    }
    return 0;
}
