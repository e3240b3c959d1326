// The far reference scan: the plain scan's records below 2^31, and byte-exact rows computed independently up to 2^62.
#include "search/scan_prime_far.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <stdexcept>
#include <string>

#include "numtheory/examined_primes.hpp"
#include "numtheory/spf_table.hpp"
#include "search/scan_prime.hpp"
#include "search/shift_list.hpp"
#include "stats/results_rows.hpp"
#include "support/int128_text.hpp"

using erdos::int128;
using erdos::prime_scan;
using erdos::uint128;

namespace {

prime_scan scan_far(std::int64_t p, std::int32_t c_max) {
    const erdos::shift_table shifts = erdos::build_shift_list(c_max);
    return erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
}

std::string row_of(const prime_scan& scan) {
    std::string out;
    erdos::append_results_row(out, scan);
    out.pop_back();  // the line feed
    return out;
}

}  // namespace

TEST(ScanPrimeFar, SameRecordsAsThePlainScanBelow2To31) {
    const std::int32_t p_max = 200000;
    for (const std::int32_t c_max : {127, 255, 1023}) {
        const std::vector<std::int32_t> spf = erdos::build_spf_table(p_max, c_max);
        const erdos::shift_table shifts = erdos::build_shift_list(c_max);
        int index = 0;
        for (const std::int32_t p : erdos::sieve_examined_primes(p_max)) {
            if (c_max != 127 && index++ % 7 != 0) continue;  // a sample at the wider bounds
            const prime_scan plain =
                erdos::scan_prime(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total, spf);
            const prime_scan far =
                erdos::scan_prime_far(p, shifts.shift_list, shifts.shift_list.size(), shifts.weight_total);
            ASSERT_EQ(far.p, plain.p);
            ASSERT_EQ(far.least_c, plain.least_c) << p;
            ASSERT_EQ(erdos_test::decimal(far.first_d), erdos_test::decimal(plain.first_d)) << p;
            ASSERT_EQ(far.branch, plain.branch) << p;
            ASSERT_EQ(far.successful_shifts, plain.successful_shifts) << p;
            ASSERT_EQ(far.first_m, plain.first_m) << p;
            ASSERT_EQ(far.has_witness, plain.has_witness) << p;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(far.uniform_mass), std::bit_cast<std::uint64_t>(plain.uniform_mass)) << p;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(far.weighted_mass), std::bit_cast<std::uint64_t>(plain.weighted_mass)) << p;
        }
    }
    // No shift: the same NaN masses; p beyond 2^62 is refused.
    EXPECT_EQ(row_of(scan_far(1000000000000000009, 2)), "1000000000000000009,-1,-1,0,0,-nan,-nan,inf,inf");
    EXPECT_THROW(scan_far((std::int64_t{1} << 62) + 1, 127), std::out_of_range);
    EXPECT_THROW(scan_far(-1, 127), std::out_of_range);
}

// Rows of the results file for primes on both sides of 2^31 and near 10^12,
// 10^15, 10^18 and 2^62, computed by an independent implementation (exact
// rationals, each 80-bit rounding emulated).
TEST(ScanPrimeFar, RowsMatchAnIndependentComputation) {
    const struct {
        std::int32_t c_max;
        const char* row;
    } known[] = {
        {127, "2147483353,7,19,3,19,0.05087915479582146,0.064372269705603044,19.654414543893459,15.534639442936385"},
        {127, "2147483497,3,4294967,3,18,0.057565781269484972,0.22553724946542006,17.371431047181666,4.433857388835996"},
        {127, "2147483713,7,5689,2,22,0.047860469777136441,0.074242647737597228,20.894069879725937,13.469347207744988"},
        {127, "2147483857,3,4703,3,15,0.041516019988242212,0.17947285910248872,24.087087352863083,5.5718731233280563"},
        {127, "1000000000177,3,881,3,18,0.065391775576960756,0.23185086518419851,15.292442989609329,4.3131173964157101"},
        {127, "1000000000537,3,14240957,3,22,0.070828523328523324,0.23561424733141906,14.118605796166449,4.2442255140597789"},
        {127, "1000000000561,7,9092893,2,11,0.023786876703543371,0.053666146797459929,42.039987530226561,18.63372087759673"},
        {127, "1000000000000249,3,4758188843,3,20,0.061161081716637269,0.22478631108260738,16.350266737155767,4.4486694727265093"},
        {127, "1000000000000273,3,162683,3,21,0.071525305969750416,0.2555950397027838,13.981065672377849,3.9124389939759405"},
        {127, "1000000000000297,3,48492137,3,18,0.063556931751376194,0.24485031491765499,15.733925040809527,4.0841278898755249"},
        {127, "1000000000000000009,7,1,1,21,0.052612433862433861,0.10517966258707,19.00691389063482,9.5075414334228192"},
        {127, "1000000000000000177,3,22237301,3,22,0.066955599270414085,0.23004231251144833,14.935270700233634,4.3470263756378902"},
        {127, "1000000000000000201,3,839,3,23,0.056885215835833121,0.21336437529853167,17.579260011703784,4.6868180248030455"},
        {127, "4611686018427387241,3,19952783699,3,22,0.053990967879856772,0.21183164011446839,18.521616471578113,4.7207301017903918"},
        {127, "4611686018427387409,3,13421,3,21,0.060510446914767903,0.22539956780136353,16.526071959252786,4.4365657385876789"},
        {127, "4611686018427387817,3,4947559931,3,22,0.062445124267255042,0.21070646075066132,16.014060532895435,4.745938954303571"},
        {255, "2147483353,7,19,3,33,0.029167364528475639,0.053266573033510706,34.284893961664437,18.773499833955654"},
        {255, "2147483497,3,4294967,3,29,0.033346178569943999,0.18331077656883138,29.988443740337093,5.4552166474757691"},
        {255, "2147483713,7,5689,2,33,0.029013641708086152,0.061740045962268182,34.46654542925917,16.19694291467065"},
        {255, "2147483857,3,4703,3,25,0.024620758797346098,0.14596117881057874,40.616132436494652,6.8511367758803248"},
        {255, "1000000000177,3,881,3,33,0.036915609253572214,0.18825839254926879,27.088812028836635,5.3118481808894211"},
        {255, "1000000000537,3,14240957,3,35,0.039840070765996695,0.19136788067230706,25.100357021792618,5.2255373079684757"},
        {255, "1000000000561,7,9092893,2,24,0.016037051083347381,0.044811723122472898,62.355603583403443,22.315589098570147"},
        {255, "1000000000000249,3,4758188843,3,33,0.033350480109739372,0.18200651935972623,29.984575835475574,5.4943086847540501"},
        {255, "1000000000000273,3,162683,3,38,0.042425808644944447,0.20832309270129204,23.570558392153647,4.8002359557606447"},
        {255, "1000000000000297,3,48492137,3,37,0.036564866032458627,0.19894250719002299,27.348657564130008,5.0265778496741005"},
        {255, "1000000000000000009,7,1,1,39,0.030630878894767784,0.086344474555856671,32.646794218197087,11.581517000871839"},
        {255, "1000000000000000177,3,22237301,3,41,0.039582267298316681,0.18753823891433044,25.263838285547809,5.3322458704371813"},
        {255, "1000000000000000201,3,839,3,41,0.033552759254919746,0.173726507469356,29.803808157845403,5.7561739688826252"},
        {255, "4611686018427387241,3,19952783699,3,33,0.030917672957282011,0.1720292475135394,32.343960730216303,5.8129650303870335"},
        {255, "4611686018427387409,3,13421,3,33,0.033739809573142904,0.18277900281212536,29.638578659792028,5.4710879511027786"},
        {255, "4611686018427387817,3,4947559931,3,38,0.035869130169745821,0.17140629983779798,27.879126013584241,5.8340912845461421"},
        {127, "2147400001,3,18512069,3,20,0.071468476653661836,0.23985497646552642,13.992182943062113,4.1691859586816902"},
        {127, "2147400217,3,17,3,17,0.051704259144735337,0.19508206506763506,19.340766438615969,5.1260478489055332"},
        {127, "4611686018427287977,3,230584300921364399,3,22,0.061055751518714479,0.21706684719030397,16.378473364519728,4.6068757755683123"},
        {127, "4611686018427288337,3,12234536049311,3,21,0.06584883223772113,0.25099141163114225,15.186298162280176,3.984200070835902"},
        {255, "5000000000353,3,3006347,3,29,0.029220233641529939,0.16682498838777068,34.222861195015454,5.9943058271077705"},
        {255, "5000000000449,7,2,1,29,0.027634412912190692,0.06871163564930502,36.186764784094919,14.553575832539718"},
        // first_d beyond 2^63 (and 2^64).
        {127, "1000000000000011529,11,1317722885943721155049321,1,20,0.032058557354853648,0.033786177741284361,31.192919535682119,29.597902658816285"},
        {127, "1000000000000049929,7,3906250000000390125000000009740641,1,22,0.049891440863663088,0.085150851144117135,20.043518140369436,11.743863820075127"},
    };
    for (const auto& k : known) {
        const std::string want = k.row;
        const std::int64_t p = std::stoll(want.substr(0, want.find(',')));
        EXPECT_EQ(row_of(scan_far(p, k.c_max)), want);
    }
}

// The first witnesses beyond 2^63 above, found again by a plain walk: every
// divisor of m^2 for the shifts up to the least one, from factorisations
// taken from elsewhere (checked here against m), in counting order over the
// exponent vectors, each tested with both congruences in 128 bits.
TEST(ScanPrimeFar, FirstWitnessBeyond64BitsByBruteForce) {
    struct shift_case {
        std::int32_t c;
        std::vector<std::pair<std::uint64_t, int>> factors;
    };
    const struct {
        std::int64_t p;
        std::vector<shift_case> shifts;  // up to the least shift with a witness
        const char* first_d;
        std::int32_t branch;
    } cases[] = {
        {1000000000000011529,
         {{3, {{19, 1}, {13157894736842257, 1}}},
          {7, {{2, 2}, {160813, 1}, {388650171317, 1}}},
          {11, {{3, 1}, {5, 1}, {14519, 1}, {1147921114861, 1}}}},
         "1317722885943721155049321", 1},
        {1000000000000049929,
         {{3, {{13, 1}, {171007, 1}, {112456035313, 1}}}, {7, {{2, 2}, {62500000000003121, 1}}}},
         "3906250000000390125000000009740641", 1},
    };
    for (const auto& k : cases) {
        const prime_scan got = scan_far(k.p, 127);
        int128 first_d = -1;
        std::int32_t least_c = -1;
        std::int32_t branch = 0;
        for (const shift_case& s : k.shifts) {
            const auto m = static_cast<uint128>((k.p + s.c) / 4);
            uint128 rebuilt = 1;
            for (const auto& [q, e] : s.factors) {
                for (int i = 0; i < e; ++i) rebuilt *= q;
            }
            ASSERT_TRUE(rebuilt == m) << k.p << ' ' << s.c;
            std::vector<int> digits(s.factors.size(), 0);
            for (bool more = true; more && least_c == -1;) {
                uint128 d = 1;
                for (std::size_t i = 0; i < digits.size(); ++i) {
                    for (int j = 0; j < digits[i]; ++j) d *= s.factors[i].first;
                }
                const bool r1 = (m + d) % static_cast<uint128>(s.c) == 0;
                const bool r2 = (4 * d + 1) % static_cast<uint128>(s.c) == 0;
                if (r1 || r2) {
                    least_c = s.c;
                    first_d = static_cast<int128>(d);
                    branch = (r1 ? 1 : 0) + (r2 ? 2 : 0);
                }
                more = false;
                for (std::size_t i = digits.size(); i-- > 0;) {
                    if (++digits[i] <= 2 * s.factors[i].second) {
                        more = true;
                        break;
                    }
                    digits[i] = 0;
                }
            }
            ASSERT_EQ(least_c == -1, &s != &k.shifts.back()) << k.p << ' ' << s.c;
        }
        EXPECT_TRUE(first_d > (int128{1} << 63));
        EXPECT_EQ(erdos_test::decimal(first_d), k.first_d);
        EXPECT_EQ(got.least_c, least_c);
        EXPECT_EQ(erdos_test::decimal(got.first_d), k.first_d);
        EXPECT_EQ(got.branch, branch);
        EXPECT_EQ(branch, k.branch);
        EXPECT_EQ(got.first_m, (k.p + least_c) / 4);
    }
}
