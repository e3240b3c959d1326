// The settings that trade speed against memory, each with why it has its value and how far it may move.
#pragma once

#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// None of these changes a single output byte: each decides only how the work
// is cut up or which of two exact ways counts it. The limits that correctness
// rests on live with their proofs instead: tau(m^2) < 2^16 in
// search/pair_tally.hpp, the largest shift with residue tables in
// search/shift_residues.hpp, at most nine small primes per m in
// numtheory/factor_window.hpp.
//
// Figures are instruction counts (callgrind) or single-thread median wall
// times of a run with C_MAX 127, measured when the value was chosen.
namespace erdos::tuning {

// --- Factor windows (search/fast_scan.cpp) -------------------------------

// The m values sieved per window, besides the reach of the shifts. A window's
// records take about 34 bytes per m (280 KiB at this span), so it stays in
// the second-level cache while its pairs are queued, and the sieving primes
// up to sqrt(m) are restarted once per span. Instructions against 2^13 at
// P_MAX 2*10^8: 2^11 +3.2%, 2^12 +1.2%, 2^14 -0.4%, 2^15 +0.05%; at 2*10^7,
// 2^14 is level and 2^15 +1.0%. 2^14 saves little for twice the memory.
// Any positive value is correct; memory grows linearly with it.
inline constexpr std::int64_t window_span = std::int64_t{1} << 13;

// --- Batches of pairs that share an exponent pattern ----------------------

// Lanes per batch: sixteen 16-bit logarithm pairs fill one 32-byte AVX2
// register (two SSE2 registers on the baseline build). Fixed by the kernel's
// vector type, which checks it.
inline constexpr int batch_lanes = 16;

// Places the pattern table starts with; it doubles whenever it is half full,
// so the start only saves the first doublings of each thread's table (it
// keeps its size from chunk to chunk). Must be a power of two, at least 1.
inline constexpr std::size_t pattern_table_slots = 1024;

// The kernel expands the last walked factors into a list of up to this many
// sums once per batch, so that the odometer turns only over the first ones
// (kernel instructions at 2*10^7: 4.11e8 -> 3.49e8 against no list). At least
// 61 = 2 * 30 + 1, so that the last factor always fits whatever its exponent;
// each entry is a 32-byte vector on the stack.
inline constexpr int kernel_inner_sums = 64;

// --- Counting one pair by residues (search/residue_count.cpp, and
// search/untabled_count.cpp for the shifts above the byte tables) --------

// The meet in the middle splits the divisors of m^2 into a listed part A and a
// small part B of size about sqrt(tau / meet_ratio); it costs about
// |A| + meet_ratio |B| steps instead of tau. Below meet_min_tau divisors the
// plain listing of all residues is used. Both follow the step counts rather
// than a measurement of their own; any values count the same.
inline constexpr std::int64_t meet_min_tau = 45;
inline constexpr std::int64_t meet_ratio = 5;
// The same for the shifts above the byte tables, where a step of A is one
// multiplication modulo c and a look-up, and one of B about twice that.
// Instructions of a run at P_MAX 10^5, C_MAX 4095: ratio 5 1.088e9, 2
// 1.078e9, 3 1.086e9; least tau 15 1.082e9, 9 1.110e9. Any values count
// the same.
inline constexpr std::int64_t untabled_meet_min_tau = 45;
inline constexpr std::int64_t untabled_meet_ratio = 2;

// The fast scan counts the pairs of one m with the untabled shifts from the list
// of the divisors of m^2 below m, made once for all of them, one
// multiplication pair per divisor and shift, when the list is at most this
// long; above it, pair by pair by the meet in the middle, whose steps grow as
// the square root of tau. Any value counts the same.
inline constexpr std::int64_t untabled_by_divisors_max_below = 500;

// A partly filled batch (at the end of a chunk) is counted by the vector
// kernel when lanes * (2 sqrt(meet_ratio tau) + flush_pair_cost) >=
// tau / 2 + flush_batch_cost, and pair by pair by the meet in the middle
// otherwise: the kernel costs about tau/2 steps whatever the lanes, the meet
// about 2 sqrt(meet_ratio tau) per pair. The two constants stand for the fixed costs
// of each way, in the same steps, and were not measured one by one; counting
// rare many-divisor patterns pair by pair at all took about 5% off a run at
// 2*10^8 (1.84 -> 1.76 s).
inline constexpr double flush_pair_cost = 30.0;
inline constexpr double flush_batch_cost = 40.0;

// --- Up to m = 2^42: the wide windows -----------------------------------

// The m a wide window (numtheory/wide_factor_window) factors for the primes
// whose first m lies in it, the reach of their shifts beyond. Primes from
// this size on wait in buckets for the window of their next multiple, so
// that a window (24 + 44 bytes a m, 560 KiB) stays in the second-level
// cache while the scan reads it. 2^12, 2^14 and 2^15 ran level with 2^13
// over [10^12, 10^12 + 3*10^8] (whole runs, one thread, interleaved); any
// power of two from 2^7 (at least the 64 shifts' reach) is correct.
// Alone, a window costs 5.4 ns a m near m = 2.5*10^11 against 3.9 ns for the
// 32-bit window near 4*10^8: the difference is the bucket primes' 0.41
// strikes a m there, about 5.5 ns each (bench: wide_factor_windows beside
// factor_windows).
// How the wide walk came to its present form, each step measured over
// [10^12, 10^12 + 3*10^8], one thread, processor time of whole runs, 3 to 5
// rounds interleaved with the step before:
//   - a window of 2^15 m with every prime struck directly, its slots as
//     indices into per-shift tables of logarithms (2.6 MB for 41,500 primes
//     and 32 shifts): level with the far feed, 2.12 s against 2.14 s, the
//     tables missing the cache;
//   - the slots' primes reduced modulo the shift instead: 1.90-1.94 s
//     against 2.03-2.08 s for the far feed;
//   - chunks of 2^18 pairs, as the 32-bit walk's, rather than the far
//     feed's 2^15 (wide_chunk_pairs): fewer batches left partly filled at
//     each chunk's end, 1.83-1.86 s against 1.91-2.03 s;
//   - the large prime read off by the scan, for the m it takes only, rather
//     than for every m of a window: 1.80-1.88 s against 1.83-2.00 s;
//   - the first-witness walk of a tabled shift stepping the last factor's
//     powers along its row of the multiplication table (search/
//     far_pair_walk.hpp; the far scan takes it too): 1.72-1.83 s against
//     1.82-1.86 s;
//   - compact entries in the buckets, and a bucket prime put in order only
//     behind another one: the window alone 5.4 ns a m against 6.25 ns.
// Tried and dropped, all level within the noise: the entries and slots of
// the next 8, 16 or 32 bucket strikes prefetched; 64-byte entries that hold
// their slots.
inline constexpr std::int64_t wide_window_span = std::int64_t{1} << 13;

// The pairs of a chunk of the wide walk, as fast_chunk_pairs for the 32-bit walk.
inline constexpr std::size_t wide_chunk_pairs = std::size_t{1} << 18;

// A stretch of the wide walk holds at least this many examined primes: its
// set-up (every bucket prime and power placed, about 1.5 ms near 10^12,
// and the examined sieve's) stays near 1% of its work. With 2^14, as for
// the far feed, two threads spent 2.84-2.99 s of processor time where one
// spent 2.54-2.67 s over [10^12, 10^12 + 5*10^8].
inline constexpr std::int64_t wide_stretch_min_primes = std::int64_t{1} << 17;

// --- Far out: the factor sieve and the far scan ---------------------------

// log2 of the m per segment of the far factor sieve (numtheory/
// far_factor_sieve). Primes below the width are stepped through every
// segment, larger ones wait in buckets; a segment keeps 57 bytes per m
// (456 KiB at 2^13), which should stay in the second-level cache while the
// feed reads it. Feed time per prime at [10^12, 10^12 + 2*10^8], one thread:
// 2^11 0.93 us, 2^12 0.92, 2^13 0.90, 2^14 0.92, 2^15 1.07, 2^16 1.46; at
// 10^18 2^11 to 2^14 are level and 2^15 5% slower. Any value from 1 to 16 is
// correct.
inline constexpr std::uint64_t far_segment_bits = 13;

// Slots per block of the far factor sieve's buckets (8 bytes each; one
// names the next block). Every bucket keeps one block partly filled, so a
// block costs about buckets * 8 * this / 2 bytes of slack (with one bucket
// per segment of a prime's reach, 61000 at 10^18, that was 31 MiB at 256;
// with two levels, below, about 1000 there). Feed over [10^18, 10^18 + 4*10^8], one thread, loaded
// machine: 64 slots 2.4-3.0 us per prime and 175 MB, 256 2.1-2.4 us and
// 180 MB, 1024 2.05 us and 207 MB. (Buckets as vectors, before the pool,
// kept their largest fill: 790 MB there, 4.0 us.) Any value from 2 up is
// correct. Near 10^18 the segments' bucket strikes take about 18% of a
// prime's time (2.3 ns a strike, perf): each store goes to the open block
// of one of 61000 buckets. Tried and dropped ([10^18, +3*10^8], one thread,
// processor time, interleaved with the build before, 3 to 5 rounds): a ring
// of a power of two (a mask instead of a 64-bit division per strike),
// 2.67-2.82 s against 2.67-2.76 s; each bucket known by the address of its
// tail alone (one word of bookkeeping per strike instead of three), in
// blocks aligned to their size, 2.69-2.78 s against 2.66-2.72 s; the same
// blocks carved from 2 MiB regions with huge pages asked for (the kernel
// granted them), 2.89-3.05 s against 2.78-3.08 s, and over [10^18, +10^9]
// 7.54-7.97 s against 7.67-8.22 s. The out-of-order core already overlaps
// the independent strikes; what is left is the traffic itself.
inline constexpr std::uint32_t far_bucket_block_entries = 256;

// The far factor sieve's buckets in two levels (numtheory/far_factor_sieve):
// log2 of the segments in a group, each with a near bucket, and the number
// of segments a bucket prime may be waiting for (its reach, bound /
// 2^far_segment_bits + 3, or the range's segments if fewer) up to which
// one level of a bucket per segment stays. With two levels a bucket prime's strike stores
// into one of 64 near buckets or about 1000 bins of groups at 10^18, not
// one of 61000 buckets, and each entry is stored twice. Whole runs, one
// thread, interleaved with one level (processor time, medians of rounds):
// [10^18, +10^9] 7.75 s against 7.99 s (five rounds; 13 rounds in all gave
// the same order), 306 MiB against 337; [10^15, +5*10^8] 3.31-3.42 s against
// 3.25-3.31 s with a limit of 1024 (reach 1930 there: its 1930 open blocks
// stay in the second-level cache), level with 8192; [10^12, +3*10^8]
// (reach 64) level. On two threads near 10^18 (four stretches of 7600
// segments) two levels cost 1.5% (processor time 8.30-8.59 s against
// 8.19-8.40 s, five rounds): each stretch's buckets span only its own
// segments, whose open blocks stay in the cache, hence the range's
// segments in the limit; with it, level (8.27-8.90 s against 8.44-9.11 s).
// group_bits 4, 6 and 8 measured alike. Any group_bits from 0
// to 12 and any limit give the same factorisations.
inline constexpr std::uint64_t far_group_bits = 6;
inline constexpr std::uint64_t far_one_level_segments = 8192;

// The far path as a whole (walks/far_feed, search/far_scan), one
// thread, C_MAX 127, chunks of 4096 primes, feed + scan per examined prime,
// on a loaded machine where the full 32-bit run took 1.29 us per prime:
// before the batches and the compact feed, [10^12, +2*10^8] 1.6 + 3.6 us,
// [2*10^9, +2*10^8] 1.3 + 3.3, [10^15, +10^8] 2.1 + 3.9, [10^18, +10^8]
// 3.8 + 4.2 (+0.8 s setup). After: [10^12, +2*10^9] 0.96 + 0.92,
// [2*10^9, +2*10^8] 0.76 + 0.77, [10^15, +10^9] 1.33 + 1.10,
// [10^18, +10^9] 2.27 + 1.42 (+1.1 s setup, 306 MB).
// Where a prime's time went near 10^12 (perf, one thread, [10^12,
// +5*10^8]) once the sieves' primes were placed by remainders: reading the
// factor sieve into the chunk (next_far_chunk) 28%, the scan 45% (walk and
// queueing 17%, the kernel 15%, pairs on their own 6%), the factor sieve's
// segments 10%, the interval sieve 2%, the verifier 4.2% (1.3% its own,
// 2.9% GMP), the rows' numbers 3%. Tried and dropped: none of these alone
// could bring a prime near 10^12 to 1.5 times the 32-bit cost (1.78 times
// measured side by side); a fixed-width verifier would save at most the
// 4.2% (made since: below). The interval sieve's and the
// factor sieve's set-up went from 0.70 s to 0.39 s at 10^18 with remainders
// from a double-precision quotient (a 64-bit div took 43% of the factor
// sieve's set-up) and prime_range's generator instead of a byte sieve.
// Still open (profiled again near 10^12, one thread, [10^12, +3*10^8]):
// next_far_chunk is 28% of a prime's time, most of it in far_sieved_factors
// inlined there: loading each m's struck slots (456 KiB a segment, from the
// second-level cache), the branch at the end of the variable-length slot
// loop, and the division m / product that leaves the cofactor (about 6% of
// next_far_chunk). Halving it would bring a prime near 10^12 to about 1.5
// times the 32-bit cost; the scan (45%) is shared with the 32-bit walk.
// Tried and dropped for it ([10^12, +2*10^8], one thread, processor time
// of five runs interleaved with the build before, as min-max): the first
// four slots of each m decoded together in SSE2, with no branch on their
// number or kind, 1.41-1.45 s against 1.37-1.43 s; the same without
// vectors (the compiler kept the branches; 13% more instructions in
// next_far_chunk) 1.44-1.54 against 1.42-1.47; the slots prefetched 4 or 8
// m ahead, 1.40-1.51 and 1.37-1.49 against 1.37-1.50; the entries written
// through pointers into lists sized for the chunk instead of push_back (6%
// fewer instructions there, but the lists zero-filled each chunk),
// 1.42-1.52 against 1.42-1.47. Sampled by time (perf, cpu-clock), the
// function waits on the slots' loads, the end of the slot loop, the
// division and the loop over the bucket primes' higher powers after it,
// about equally; without the branches it waited as long on the loads.
// Also dropped: the quotient m / product in double precision where m <
// 2^53 (exact there), [10^12, +3*10^8], five rounds interleaved, 2.09-2.15 s
// against 2.07-2.19 s.
// Kept: each m's entry written through plain pointers into lists grown
// once per run of m, instead of push_back (whose stores through the
// exponents' bytes made the compiler reload every list's end): the whole
// run over [10^12, +3*10^8], one thread, 1.98-2.05 s against 2.07-2.14 s
// (five rounds interleaved), level at 10^18. Measured since on the feed
// alone over the same interval (1,357,511 primes, 35.1 M m read out of 75 M
// sieved; the sieve 0.19 s of it), min-max of three rounds interleaved
// with that build (0.73-0.80 s), and dropped:
// - rows that read off as they stand, built while striking (the odd primes
//   ascending, bucket primes put in place as they strike, a byte row of
//   exponents, the inverse modulo 2^64 of the product and a bucket prime's
//   square found by the inverse, so that m without its twos times the
//   inverse is the cofactor): the read fell from about 0.55 to 0.40 s but
//   the sieve rose from 0.19 to 0.35-0.39 s, for it works on every m and
//   the read on fewer than half of them. Read in place by the scan (two
//   segments' rows kept, the chunk scanned in runs as the rows fill), the
//   whole run took 2.13-2.20 s against 2.04-2.15 s: the scan then keyed
//   each pair instead of each m;
// - the same rows without the inverse (the quotient at read, a bucket
//   prime's square tested by its inverse there): 0.84-0.89 s;
// - the key formed in the same pass as the decoding: 0.78-0.79 s;
// - far_batch_key with its first four exponents masked instead of
//   branches on their number: 0.80-0.82 s against 0.78 s;
// - the first four slots decoded with no branch (masks), the rest and the
//   squares on a slower path: 0.91-0.94 s against 0.77-0.79 s.
// Ablations (wrong results, as bounds): without the key 0.69 s, without the
// quotient or the bucket primes' powers no change, the first four slots
// copied as they stand with no decoding 0.57-0.59 s. The decoding loop
// itself is what costs; on this processor (AMD, family 26) its branches
// are predicted well enough that branch-free forms only add instructions.
// The verifier went from GMP to 128-bit residues (with D*E = N^2 the
// identity holds exactly when 4m = p + c, so only the divisibilities are
// left to prove): instructions over [10^12, +2*10^7] 2.062e9 -> 1.946e9
// (-5.6%), over [10^18, +2*10^7] 9.00e9 -> 8.91e9, about 4.6% of what is
// not set-up there; in wall time (the README's runs, medians of three,
// interleaved) 7% off a prime in 32 bits, 2% near 10^12 and 1% near 10^18,
// so that the ratios far out grew: 1.70 -> 1.79 near 10^12, 3.03 -> 3.23
// near 10^18.

// --- Far out on several threads: stretches (walks/far_walk) ---------------

// Each worker sieves, factors and scans a stretch of the interval of its
// own, with sieves set up afresh for it from the run's list of sieving
// primes: both sieves place their primes up to about sqrt(p_max) into their
// buckets, about 0.3 s a stretch at 10^18 (0.39 s before the list, of which
// 0.22 s went on sieving the primes again; for a stretch of 2.5*10^8 there,
// measured alone: the examined sieve 0.165 s, the factor sieve 0.215 s, then
// 0.131 s once its bucket primes were placed in a loop of their own and
// those with a multiple in the stretch gathered with no branch on it, which
// took a run over [10^18, +10^9] from 12.6 to 11.8 s of processor time on
// 16 threads and from 8.6-8.8 to 8.4-8.5 s on two; the same gathering in
// the examined sieve changed nothing; since the first hits are found a
// block of primes at a time, four at once with AVX2 (numtheory/block_hits),
// the examined sieve takes 0.095 s instead of 0.19 s and the factor sieve
// 0.115 s instead of 0.155 s, about 0.21 s a stretch; a plain loop over
// the block without AVX2, whose divisions overlap, gave the factor sieve
// 0.13 s and the examined sieve nothing; eight primes at once with AVX-512
// (the same arithmetic) and the list decoded sixteen primes at once took
// the examined sieve to 0.045 s and the factor sieve to 0.09 s, about
// 0.135 s a stretch, most of the rest the factor sieve's 10.5 million
// entries written to fresh cache lines of their bins; a prefetch of each
// bin's line ahead gave 0.085 s there and nothing measurable in whole
// runs, and an AVX-512 build of the counting kernel (the same 32-byte
// vectors, compares into masks) took as many samples as the AVX2 one), a
// few milliseconds at 10^12,
// against 1.7 us (10^12) to 2.7 us (10^18) of work per examined prime. A
// stretch holds at least far_stretch_min_primes examined primes and at least
// 1/far_stretch_sieving_ratio of the sieving primes up to sqrt(p_max)
// (10^18: 1.7 M primes, 4.6 s of work), so that its set-up stays under a
// tenth of its work far out and under 1% near 10^12. Any positive values
// give the same bytes.
inline constexpr std::int64_t far_stretch_min_primes = std::int64_t{1} << 14;
inline constexpr std::int64_t far_stretch_sieving_ratio = 30;
// An interval with fewer such stretches than threads is still cut into one
// per thread while each holds 1/far_stretch_least_ratio of the sieving
// primes: a set-up about as long as its work, still a gain in wall time.
inline constexpr std::int64_t far_stretch_least_ratio = 300;
// Where there are at least four stretches a thread and a quarter of one
// still holds 1/far_stretch_sieving_ratio of the sieving primes (near 10^12,
// not near 10^15 or 10^18), the last `threads` widths are cut into four
// times as many stretches, so that the thread that takes the last one keeps
// the others waiting up to a quarter of a stretch instead of a whole one.
// On two threads near 10^12 ([10^12, +5*10^8], 25 stretches instead of 18)
// that wait was about 0.04 s of 1.55 s, and the wall times were level
// within the machine's noise (five rounds); with 32 threads and a few
// stretches each it is up to a stretch's time in a run of a few. Any cut
// gives the same bytes; ERDOS_STRAUS_STRETCH_PRIMES (tests only) sets the
// least primes of a stretch, so that a small run is cut into many.

// The run's own thread takes the chunks of the stretch it hands on when this
// many wait (or the stretch is done, or a worker waits for room), all of
// them at one waking, instead of being woken for every chunk. A chunk far
// out takes about 2 ms of work near 10^12; woken once a chunk, that thread
// spent about 0.4% of all processor time of a run on two threads going to
// sleep and waking up (perf, [10^12, +5*10^8]). Larger batches hold the
// chunks of one stretch a little longer, within the bound below (which
// caps the batch). Any value from 1 up gives the same bytes. A chunk
// handed on leaves its worker a chunk with no room; the pool gives the
// chunks handed on back to their workers (up to a batch and two each,
// twenty in all), so that two threads near 10^12 take 32,000 to 35,000
// page faults instead of 45,000 to 60,000 (one thread: 15,000), and the
// calling thread no longer returns the chunks' pages: its share of the
// processor time there fell from 1.85% to 1.87% to 1.54% to 1.71% (three
// runs each, alternately). Wall times stayed level (five rounds, 1.51 to
// 1.61 s against 1.53 to 1.58 s), and the peak grows by 10 to 25 MB.
inline constexpr std::size_t handover_batch_chunks = 8;
// ... or, once it has waited this long, whatever chunks there are, so that
// chunks that take long (wide shifts far out, where one may take seconds)
// still reach the status line and the checkpoints one by one. Any positive
// value gives the same bytes.
inline constexpr std::chrono::milliseconds handover_wait{50};

// What stays on the run's own thread far out, as a share of all processor
// time (perf samples per thread, two threads, [10^12, +5*10^8], loaded
// machine): 3.4-3.5% before the chunks' tallies, the selection in memory
// by radix, the rows written through and the batched hand-over (about 2%
// during the walk: folding each prime, copying the rows, waking once a
// chunk; 1.3% after it: four nth_element selections), 1.4-1.9% after
// (0.7-1.2% during the walk, 0.6% after; 3.1% before on a quiet machine).
// Near 10^18 ([10^18, +5*10^8]) 2.0-2.3% before and 1.1-1.4% after, not
// counting that thread's part in listing the sieving primes, which all the
// threads share (another 1.3-1.7 points there on two threads). Tried and dropped: 2 MiB pages for the masses' buffer
// (MADV_HUGEPAGE, to save the faults of appending them): the zeroing of
// whole large pages took that thread to 2.0-2.3% near 10^12; handing the
// chunks handed on back to the workers to be filled again (no freeing on
// that thread, no new pages on theirs): 1.4% near 10^12 and 2.7% near
// 10^18, no change then (the pool does it now, for its page faults: see
// handover_batch_chunks); chunks of 2^17 pairs far out instead of the batches:
// 0.8% during the walk, as with the batches, for four times a worker's
// chunk memory.

// Chunks finished ahead of the one the run writes wait, about 216 bytes an
// examined prime far out (its scan, 80 bytes, its row, 116 bytes at 10^18,
// and its masses for the run's tally, 16). Each worker keeps up to
// far_held_primes / threads of them in memory and writes the rest of the
// stretch it runs ahead with to an unnamed file of its own (where the
// masses' file goes: beside the results, else beside the summary, else in
// $TMPDIR or /tmp), read back on the run's own thread in its turn (about 0.03 us a
// prime against 2.7 us of work at 10^18). Waiting in memory, every worker
// held up to a whole stretch: with two threads at the top of the range the
// run peaked at 460 to 594 MiB (the chunks freed by one worker's arena are
// not reused by the other's). Any positive value gives the same bytes.
inline constexpr std::int64_t far_held_primes = std::int64_t{1} << 18;
// ... and the stretches are cut so that the files together hold at most
// this many primes (about 3.6 GB at 10^18), which bounds the stretches of
// many threads far out. Any positive value gives the same bytes.
inline constexpr std::int64_t far_spilled_primes = std::int64_t{1} << 24;

// The one list of sieving primes (a byte a prime up to sqrt(p_max)) and the
// sieves of two workers share this much memory; a stretch is cut short
// enough for its sieves to fit (one 8-byte entry per sieving prime with a
// multiple in it: about 170 MB for 1.5 M examined primes at 10^18), so
// that a run on two threads far out stays under 512 MiB at the top of the
// range with the masses (at most 64 MiB) and the chunks in memory. More
// threads take a share each. Any positive value gives the same bytes.
inline constexpr std::uint64_t far_walk_sieve_bytes = std::uint64_t{288} << 20;

// A run far out factors each m on its own (Pollard-Brent rho, about
// lone_m_cost ns an m near 10^18, scan included) instead of setting up the
// sieves (about sieving_prime_cost ns per prime up to sqrt(p_max), 0.39 s at
// 10^18) when that costs less: an interval too narrow to pay for its
// sieving primes. Measured side by side at 10^18, one thread, C_MAX 127:
// 295 primes 0.09 s and 1169 primes 0.37 s factored one by one, 1761
// primes 0.41 s sieved; the two ways cost the same near 1300 primes. Near
// 10^12 the sieves cost milliseconds and win from a few primes on. Either
// way gives the same bytes.
inline constexpr double lone_m_cost = 9700.0;
inline constexpr double sieving_prime_cost = 7.7;

// --- Chunks of primes and the worker pool (walks/) -----------------------

// A chunk of the fast walk holds about this many (prime, shift) pairs, whose
// 4-byte tallies a worker keeps at once, and from fast_chunk_min_primes to
// fast_chunk_max_primes primes. Larger chunks leave fewer batches partly
// filled at their end: 8192 primes instead of 2048 per chunk with 32 shifts
// took 3% of the instructions off a run at 2*10^8 (1.506 -> 1.472 s).
inline constexpr std::size_t fast_chunk_pairs = std::size_t{1} << 18;
inline constexpr std::size_t fast_chunk_min_primes = 64;
inline constexpr std::size_t fast_chunk_max_primes = 8192;

// (prime, shift) pairs per chunk of the walk far out, where each pair carries
// its factorisation (about 150 bytes): 2^15 pairs keep a worker's chunk near
// 5 MiB, and a chunk still holds 1024 primes at the default shifts.
inline constexpr std::size_t far_chunk_pairs = std::size_t{1} << 15;

// At least this many primes per chunk of the walk far out when there are
// shifts above the listed ones: each chunk sieves the m of those shifts for
// itself, (chunk span + C_MAX)/4 of them, so that more primes share them.
// The listed pairs' factorisations still take about 16 * 16384 * 4 bytes
// (1 MiB) and their tallies as much. Any value from 1 up is correct.
inline constexpr std::size_t high_chunk_min_primes = 16;

// Primes per chunk of the plain walk, which lists every divisor and is slow
// enough that the chunk size does not show.
inline constexpr std::size_t plain_chunk_max_primes = 2048;
// ... or after this many (prime, shift) pairs, whichever comes first, so that
// a long shift list still reports its progress (and is stopped) often.
inline constexpr std::uint64_t plain_chunk_pairs = std::uint64_t{1} << 16;

// Chunks the workers may run ahead of the writer, per thread: the ring of
// finished chunks bounds the memory they hold (this many times the threads,
// each chunk with its rows), while a slow chunk does not stall the others.
inline constexpr std::size_t chunks_ahead_per_thread = 4;

// The widest shift the fast walk lists, each with its residue tables, and
// scans prime by prime with windows that reach over all of them. Shifts
// above it are scanned window by window over m (search/high_shift_scan),
// which keeps no list of them, and a window no wider than window_span
// whatever C_MAX. A wider list would make every window and every chunk's
// tallies grow with it. At most shift_residues::max_counted_shift, the widest
// shift whose count of one pair takes 32-bit residues. The shift count at
// this bound, (65535 - 3) / 4 + 1 = 16384, sets the largest chunk below.
inline constexpr std::int32_t max_listed_shift = 65535;

inline constexpr std::size_t max_listed_shifts = (max_listed_shift - 3) / 4 + 1;

// At the widest shift list a chunk holds fast_chunk_min_primes primes, so a
// worker's tallies take at most 64 * 16384 * 4 bytes = 4 MiB; and every pair's
// index in its chunk must fit the 32 bits a batch lane keeps of it.
static_assert(fast_chunk_min_primes * max_listed_shifts * 4 <= std::size_t{4} << 20,
              "a worker's tallies stay within 4 MiB at the widest shift list");
static_assert(fast_chunk_max_primes * max_listed_shifts <= std::size_t{1} << 32,
              "a pair's index in its chunk fits 32 bits");

// --- Writing the results file (output/results_file.cpp) ------------------

// Rows gather in memory up to this many bytes before they go to the system in
// one write; blocks of rows of at least results_write_through_bytes (a
// worker's whole chunk: about 0.5 MiB for 8192 primes in 32 bits, 75 to 120
// KiB for the 1024 primes of a chunk far out) are written straight from
// where they were formatted, without a copy on the run's own thread, which
// does everything else of the run in order. At 128 KiB the chunks far out
// were copied there: about 0.5% of all processor time of a run near 10^12
// on two threads (perf). Any value gives the same bytes.
inline constexpr std::size_t results_batch_bytes = std::size_t{1} << 20;
inline constexpr std::size_t results_write_through_bytes = std::size_t{1} << 14;

// --- The masses kept for the summary's percentiles (stats/mass_store) -----

// Primes whose two masses (16 bytes a prime) a run keeps in memory: 4 Mi
// primes, 64 MiB. Every run up to about 6.5*10^8 (P_MAX) keeps all of them
// and selects its percentiles in memory, as before; a longer run writes them
// to an unnamed temporary file a buffer at a time (7.7 GiB for the run to
// 10^11) and finds its percentiles by passes over the file, which need
// fewer the more keys fit in memory at once (a rank whose keys sharing the
// digits found so far number at most twice this is settled in one more
// pass). Any value from 1 up gives the same bytes; the environment variable
// ERDOS_STRAUS_MASS_BUDGET, meant for tests, overrides it.
inline constexpr std::uint64_t mass_budget_primes = std::uint64_t{1} << 22;

// Masses per read of that file in the passes: 4 MiB blocks, large enough
// that a pass runs at the speed of the disk or the page cache.
inline constexpr std::size_t mass_read_block_values = std::size_t{1} << 19;

// The passes that find the summary's percentiles after the walk share their
// work among the run's threads, up to this many: each counts into tables
// of its own (512 KiB a searched rank, at most 4 MiB) and reads and gathers
// through buffers of its own (a block of the file, mass_read_block_values,
// 4 MiB each), so at most about 12 MiB a part; the walk's memory is free
// by then. Any value from 1 up gives the same bytes.
// Measured on two threads ([10^12, +5*10^8], perf samples at 10 kHz, three
// runs interleaved): the time when the run's own thread alone was busy (its
// samples in 1 ms spans with none of any other thread) fell from 1.15-1.22%
// to 0.70-0.81% of all samples, and that thread's whole share from
// 2.17-2.27% to 1.62-1.85%.
inline constexpr unsigned percentile_max_parts = 8;

// --- Several processes (mpi/block_plan, the MPI program) -----------------

// Examined primes per block of a run spread over several processes. A rank
// holds one block's rows (about 64 bytes a prime: 64 MiB here) until the
// round's collective write, and sets its walk up again for every block: the
// sieving primes up to sqrt(p_max), a few milliseconds at 10^12 against
// about 2 s of scanning per block. Far out the setup grows with sqrt(p_max)
// (about 1.1 s at 10^18), so a block then holds at least
// distributed_setup_share times the primes below sqrt(p_max), which keeps the
// setup near a twentieth of the block's time. Any positive values give the
// same bytes; small runs take a single round whatever they are.
inline constexpr std::int64_t block_min_primes = std::int64_t{1} << 20;
inline constexpr double distributed_setup_share = 0.125;

// --- Checkpoints of the results file (output/checkpoint.cpp) -------------

// A run whose results go to a regular file makes the rows written so far
// durable (flush, fsync) and records the point beside them after the first
// chunk that ends this long after the last such point, so that a killed run
// loses at most about this much work when continued with --resume. Each point
// costs one fdatasync of the rows since the last one (55-85 ms on this
// machine's disk at 2 threads, C_MAX 127) and a rename of a small record, both
// on the syncing thread; the writing thread only flushes its pending rows.
// Side by side, points every 0.2 s left a run to 10^9 as fast as one without
// (within the +-5% noise of a shared machine), so at 5 s they cost far below
// 1%. Any positive value is correct; the environment variable
// ERDOS_STRAUS_CHECKPOINT_MS, meant for tests, overrides it.
inline constexpr int checkpoint_interval_ms = 5000;

// The positive decimal value of the environment variable `name` where it
// has one, else `value`: the overrides meant for tests, which must see a
// file used or a point made within a small run.
inline std::uint64_t setting_for_tests(const char* name, std::uint64_t value) {
    if (const char* text = std::getenv(name); text != nullptr) {
        const char* end = text + std::strlen(text);
        std::uint64_t set = 0;
        const auto [stop, ec] = std::from_chars(text, end, set);
        if (ec == std::errc() && stop == end && set > 0) return set;
    }
    return value;
}

}  // namespace erdos::tuning
