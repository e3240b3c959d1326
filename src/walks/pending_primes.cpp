// Pulling the examined primes from a source a batch at a time.
#include "walks/pending_primes.hpp"

namespace erdos {

bool peek_prime(pending_primes& pending, std::int64_t& p) {
    if (pending.next == pending.primes.size()) {
        if (pending.exhausted) return false;
        pending.primes.clear();
        pending.next = 0;
        if (!pending.source(pending.primes, 4096) || pending.primes.empty()) {
            pending.exhausted = true;
            return false;
        }
    }
    p = pending.primes[pending.next];
    return true;
}

}  // namespace erdos
