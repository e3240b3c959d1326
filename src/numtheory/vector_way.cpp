// The processor's vector extensions, looked up once, on first use (so that
// no static initialiser elsewhere reads them before they are set).
#include "numtheory/vector_way.hpp"

namespace erdos {

namespace {

struct vector_features {
    bool avx2 = false;
    bool avx512 = false;
};

const vector_features& processor_features() {
    static const vector_features features{
        __builtin_cpu_supports("avx2") != 0,
        __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512dq") != 0 &&
            __builtin_cpu_supports("avx512vl") != 0};
    return features;
}

}  // namespace

bool vector_way_available(vector_way way) {
    switch (way) {
        case vector_way::plain: return true;
        case vector_way::avx2: return processor_features().avx2;
        case vector_way::avx512: return processor_features().avx512;
    }
    return false;
}

vector_way fastest_vector_way() {
    if (processor_features().avx512) return vector_way::avx512;
    return processor_features().avx2 ? vector_way::avx2 : vector_way::plain;
}

}  // namespace erdos
