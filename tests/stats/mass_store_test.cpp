#include "stats/mass_store.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "stats/distributed_percentile.hpp"
#include "stats/percentile.hpp"

using namespace erdos;

namespace {

namespace fs = std::filesystem;

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

struct mass_lists {
    std::string name;
    std::vector<double> uniform;
    std::vector<double> weighted;
};

// Lists of every kind the summary meets; the weighted list is the uniform one
// turned around, so that both lists are searched with different ranks.
std::vector<mass_lists> cases() {
    const double negative_nan = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
    std::vector<mass_lists> all = {
        {"no prime", {}, {}},
        {"one prime", {0.25}, {}},
        {"two primes", {0.5, 0.25}, {}},
        {"every mass a NaN with its sign set", std::vector<double>(7, negative_nan), {}},
        {"every mass equal", std::vector<double>(9, 0.0625), {}},
        {"ties across every boundary", {0.3, 0.1, 0.3, 0.3, 0.2, 0.3, 0.3, 0.1, 0.3, 0.0, 0.3}, {}},
    };
    // Keys that share their first 48 bits, so that only the last digit tells them apart.
    mass_lists close{"keys apart in the last digit only", {}, {}};
    for (int i = 0; i < 100; ++i) close.uniform.push_back(1.0 + std::ldexp(static_cast<double>((i * 37) % 61), -52));
    all.push_back(close);
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> mass(0.0, 0.2);
    mass_lists many{"1000 masses with repeats", {}, {}};
    for (int i = 0; i < 1000; ++i) many.uniform.push_back(i % 9 == 0 ? 0.03125 : mass(random));
    all.push_back(many);
    for (mass_lists& c : all) c.weighted.assign(c.uniform.rbegin(), c.uniform.rend());
    return all;
}

struct temp_directory {
    std::string path;
    temp_directory() {
        path = (fs::temp_directory_path() / ("erdos-masses-test-XXXXXX")).string();
        if (mkdtemp(path.data()) == nullptr) path.clear();
    }
    ~temp_directory() { fs::remove_all(path); }
    bool empty() const { return fs::is_empty(path); }
};

void add_all(mass_store& store, const mass_lists& lists) {
    for (std::size_t i = 0; i < lists.uniform.size(); ++i) add_masses(store, lists.uniform[i], lists.weighted[i]);
}

}  // namespace

// Whatever the budget and the size of the file's reads, the percentiles have
// the bits of percentile() over the whole lists, and the file leaves no name
// behind.
TEST(MassStore, EveryBudgetGivesTheBitsOfTheListsInMemory) {
    const temp_directory dir;
    ASSERT_FALSE(dir.path.empty());
    for (const mass_lists& c : cases()) {
        for (const std::uint64_t budget : {std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{3}, std::uint64_t{5},
                                           std::uint64_t{50}, tuning::mass_budget_primes}) {
            for (const std::size_t read_block : {1, 2, 7}) {
                const std::string where = c.name + ", budget " + std::to_string(budget) + ", reads of " +
                                          std::to_string(read_block);
                mass_store filled;
                set_up_mass_store(filled, dir.path, budget);
                filled.read_block = read_block;
                add_all(filled, c);
                EXPECT_EQ(filled.on_file > 0, c.uniform.size() > budget) << where;
                EXPECT_LE(filled.uniform.size(), budget) << where;
                // The file goes with the store when it is moved.
                mass_store store = std::move(filled);
                summary_percentiles got;
                ASSERT_EQ(find_summary_percentiles(store, got), 0) << where;
                EXPECT_EQ(bits(got.median_uniform), bits(percentile(c.uniform, 0.5))) << where;
                EXPECT_EQ(bits(got.p10_uniform), bits(percentile(c.uniform, 0.1))) << where;
                EXPECT_EQ(bits(got.p90_uniform), bits(percentile(c.uniform, 0.9))) << where;
                EXPECT_EQ(bits(got.median_weighted), bits(percentile(c.weighted, 0.5))) << where;
                EXPECT_TRUE(dir.empty()) << where;
            }
        }
    }
}

// Masses whose leading digits say little (all of them within one 16-bit
// digit, many equal) take more passes than one: in memory or on file, on
// one thread or shared by several, they give the bits of percentile().
TEST(MassStore, CrowdedMassesGiveTheBitsOfTheListsOnEveryThreadCount) {
    mass_lists crowded{"crowded", {}, {}};
    std::mt19937_64 random(11);
    for (int i = 0; i < 600007; ++i) {  // not a multiple of the shares
        const double mass = 0.5 + std::ldexp(static_cast<double>(random() % 4096), -40);
        crowded.uniform.push_back(i % 3 == 0 ? 0.5 : mass);
    }
    crowded.weighted.assign(crowded.uniform.rbegin(), crowded.uniform.rend());
    const double median_uniform = percentile(crowded.uniform, 0.5);
    const double p10_uniform = percentile(crowded.uniform, 0.1);
    const double p90_uniform = percentile(crowded.uniform, 0.9);
    const double median_weighted = percentile(crowded.weighted, 0.5);
    for (const std::uint64_t budget : {tuning::mass_budget_primes, std::uint64_t{70001}}) {
        for (const unsigned threads : {1U, 2U, 3U, 16U}) {
            const std::string where = "budget " + std::to_string(budget) + ", " + std::to_string(threads) + " threads";
            mass_store store;
            set_up_mass_store(store, "", budget);
            store.read_block = 9999;  // blocks that end inside the segments
            add_all(store, crowded);
            ASSERT_EQ(store.on_file > 0, budget < crowded.uniform.size()) << where;
            summary_percentiles got;
            ASSERT_EQ(find_summary_percentiles(store, got, threads), 0) << where;
            EXPECT_EQ(bits(got.median_uniform), bits(median_uniform)) << where;
            EXPECT_EQ(bits(got.p10_uniform), bits(p10_uniform)) << where;
            EXPECT_EQ(bits(got.p90_uniform), bits(p90_uniform)) << where;
            EXPECT_EQ(bits(got.median_weighted), bits(median_weighted)) << where;
        }
    }
}

// Visited in shares, on file and in memory, every mass comes once, in its
// own list, each share from one thread; a failed read stops the visit.
TEST(MassStore, SharesVisitEveryMassOnce) {
    mass_store store;
    set_up_mass_store(store, "", 50000);
    store.read_block = 7777;
    const std::size_t pairs = 180001;  // three segments on file and some in memory
    for (std::size_t i = 0; i < pairs; ++i) add_masses(store, static_cast<double>(i), -static_cast<double>(i));
    ASSERT_GT(store.on_file, 0U);
    ASSERT_GT(store.uniform.size(), 0U);
    EXPECT_EQ(max_mass_parts(store, 1), 1U);
    EXPECT_EQ(max_mass_parts(store, 5), 5U);
    EXPECT_LT(max_mass_parts(store, 1000), 1000U);  // a few masses a thread are not worth it
    std::vector<std::vector<int>> seen(5, std::vector<int>(pairs, 0));  // per part: uniform as +1, weighted as +16
    std::vector<std::thread::id> thread_of(5);
    std::vector<int> wrong_thread(5, 0);
    const int error = visit_masses_in_parts(store, 5, [&](unsigned part, bool weighted, const double* values,
                                                          std::size_t count) {
        if (thread_of[part] == std::thread::id{}) thread_of[part] = std::this_thread::get_id();
        wrong_thread[part] += thread_of[part] != std::this_thread::get_id() ? 1 : 0;
        for (std::size_t j = 0; j < count; ++j) {
            const double v = weighted ? -values[j] : values[j];
            seen[part][static_cast<std::size_t>(v)] += weighted ? 16 : 1;
        }
    });
    ASSERT_EQ(error, 0);
    // (Which parts get blocks is up to the threads: one may take them all.)
    for (std::size_t part = 0; part < 5; ++part) EXPECT_EQ(wrong_thread[part], 0) << part;
    for (std::size_t i = 0; i < pairs; ++i) {
        int total = 0;
        for (std::size_t part = 0; part < 5; ++part) total += seen[part][i];
        ASSERT_EQ(total, 17) << "mass " << i;
    }
    // The file cut short: a read fails, and the visit says so.
    ASSERT_EQ(ftruncate(store.file.fd, 1000), 0);
    EXPECT_EQ(visit_masses_in_parts(store, 3, [](unsigned, bool, const double*, std::size_t) {}), EIO);
}

// A file that cannot be made or written fails the store for good: the
// masses added after it take no memory, and the search reports the failure.
TEST(MassStore, AFailureToWriteIsKeptAndReported) {
    const temp_directory dir;
    mass_store store;
    set_up_mass_store(store, dir.path + "/gone", 2);
    for (int i = 0; i < 10; ++i) add_masses(store, 0.5, 0.25);
    EXPECT_EQ(store.error, ENOENT);
    EXPECT_LE(store.uniform.size(), 2U);
    summary_percentiles got;
    EXPECT_EQ(find_summary_percentiles(store, got), ENOENT);
    std::vector<std::uint64_t> counts;
    EXPECT_EQ(count_percentile_pass(start_percentile_search(10), store, counts), ENOENT);

    // A budget large enough never needs the file, wherever it would go.
    mass_store in_memory;
    set_up_mass_store(in_memory, dir.path + "/gone", 20);
    for (int i = 0; i < 10; ++i) add_masses(in_memory, 0.5, 0.25);
    EXPECT_EQ(find_summary_percentiles(in_memory, got), 0);
    EXPECT_EQ(got.median_weighted, 0.25);
}

TEST(MassStore, FileDirectoryAndBudgetSetting) {
    const temp_directory dir;
    const std::string results = dir.path + "/results.csv";
    fs::create_directory(dir.path + "/summaries");
    const std::string summary = dir.path + "/summaries/summary.json";
    const std::string canonical = fs::canonical(dir.path).string();
    EXPECT_EQ(mass_file_directory(results, summary), canonical);  // not there yet
    std::ofstream(results) << "x";
    EXPECT_EQ(mass_file_directory(results, summary), canonical);
    EXPECT_EQ(mass_file_directory("/dev/null", summary), canonical + "/summaries");
    EXPECT_EQ(mass_file_directory("relative.csv", "/dev/null"), fs::current_path().string());
    const char* tmpdir = std::getenv("TMPDIR");
    EXPECT_EQ(mass_file_directory("/dev/null", dir.path), tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp");

    for (const auto& [text, budget] : std::vector<std::pair<const char*, std::uint64_t>>{
             {"1000", 1000}, {"1", 1}, {"0", tuning::mass_budget_primes}, {"-5", tuning::mass_budget_primes},
             {"12x", tuning::mass_budget_primes}, {"", tuning::mass_budget_primes},
             {" 7", tuning::mass_budget_primes}}) {
        setenv("ERDOS_STRAUS_MASS_BUDGET", text, 1);
        EXPECT_EQ(mass_budget_setting(), budget) << '"' << text << '"';
    }
    unsetenv("ERDOS_STRAUS_MASS_BUDGET");
    EXPECT_EQ(mass_budget_setting(), tuning::mass_budget_primes);
}
