// The two masses of every examined prime, kept for the summary's percentiles: in memory up to a budget, beyond it in an unnamed temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stats/unnamed_file.hpp"
#include "tuning.hpp"

namespace erdos {

// The masses of a run (or of one process's share of it), in the order they
// were added. Up to `budget` pairs wait in memory; a full buffer goes to the
// file as one segment, its uniform masses and then its weighted ones, as raw
// doubles. The file has no name from the moment it exists, so that nothing
// of it outlasts the process, however the process ends. Move-only.
struct mass_store {
    std::uint64_t budget = tuning::mass_budget_primes;  // pairs held in memory, at least 1
    std::size_t read_block = tuning::mass_read_block_values;  // values per read of the file
    std::string directory;  // where the file is made; empty: $TMPDIR or /tmp

    std::vector<double> uniform;  // the pairs not on file
    std::vector<double> weighted;

    owned_descriptor file;
    std::vector<std::uint64_t> segments;  // pairs per segment of the file, in file order
    std::uint64_t on_file = 0;            // their sum
    // How many masses on file have each leading 16 bits of their order_key,
    // one table per list (select_digit_values entries, empty until the
    // first segment): the first digit of a rank search without reading the
    // file.
    std::vector<std::uint64_t> uniform_digits;
    std::vector<std::uint64_t> weighted_digits;

    int error = 0;  // the first failure to create or write the file (an errno value); sticky
};

// Sets an empty store up: up to budget pairs (0 counts as 1) in memory, the
// rest in a file made in directory when first needed.
void set_up_mass_store(mass_store& store, std::string directory, std::uint64_t budget);

// The budget of a run: tuning::mass_budget_primes, or the value of
// ERDOS_STRAUS_MASS_BUDGET when that is a positive decimal number, which
// changes no output byte and lets a small run use the file, for tests.
std::uint64_t mass_budget_setting();

// Where a run's masses file goes: beside the results target when that is a
// regular file or does not exist yet, else beside the summary target on the
// same condition, else in $TMPDIR or /tmp.
std::string mass_file_directory(const std::string& results_path, const std::string& summary_path);

// Makes room for one more pair: the buffer grows to its budget, a full one
// is written out.
void make_room_for_masses(mass_store& store);

// Appends one prime's pair. Never fails: a failure to write the file is
// kept in store.error, and later pairs are dropped.
inline void add_masses(mass_store& store, double uniform, double weighted) {
    if (store.uniform.size() == store.uniform.capacity()) make_room_for_masses(store);
    store.uniform.push_back(uniform);
    store.weighted.push_back(weighted);
}

// Appends count primes' pairs, uniform[i] with weighted[i], as count calls
// of add_masses would.
void add_mass_block(mass_store& store, const double* uniform, const double* weighted, std::size_t count);

// Pairs added (before any failure).
inline std::uint64_t mass_count(const mass_store& store) { return store.on_file + store.uniform.size(); }

// Every mass of the store handed to visit(weighted, values, count), those
// on file first, in blocks of at most read_block values of one list, then
// those in memory. Returns 0, store.error, or the errno value of a failed
// read (the visit then stops).
using mass_visitor = std::function<void(bool weighted, const double* values, std::size_t count)>;
int visit_masses(const mass_store& store, const mass_visitor& visit);

// The same masses in max_mass_parts(store, parts) shares, visited at once,
// a thread a share: visit(part, weighted, values, count) gets every mass
// once, in blocks of at most read_block values of one list; the blocks of
// one part come from one thread, in no set order. Returns 0, store.error,
// or the errno value of the first failed read (the parts then stop at
// their next block); the first exception of a visit is rethrown once every
// part has stopped.
using mass_part_visitor = std::function<void(unsigned part, bool weighted, const double* values, std::size_t count)>;
int visit_masses_in_parts(const mass_store& store, unsigned parts, const mass_part_visitor& visit);

// The shares visit_masses_in_parts makes: `parts` (at least 1), fewer when
// the store holds too few masses for each to be worth a thread.
unsigned max_mass_parts(const mass_store& store, unsigned parts);

// Once the file holds anything: the pairs in memory written out as a last
// segment and the buffer's memory given back, so that the summary's search
// has it. Returns store.error.
int put_all_masses_on_file(mass_store& store);

}  // namespace erdos
