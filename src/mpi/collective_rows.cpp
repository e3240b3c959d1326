// Rows written round by round: MPI-IO at offsets from a prefix sum, or gathered to rank 0 in rank order.
#include "mpi/collective_rows.hpp"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "output/results_file.hpp"

namespace erdos {

namespace {

// The bytes one MPI call moves at most: counts are ints.
constexpr std::uint64_t piece_bytes = std::uint64_t{1} << 30;

int errno_of(int mpi_error) {
    if (mpi_error == MPI_SUCCESS) return 0;
    int error_class = MPI_ERR_OTHER;
    MPI_Error_class(mpi_error, &error_class);
    if (error_class == MPI_ERR_NO_SPACE) return ENOSPC;
    if (error_class == MPI_ERR_QUOTA) return EDQUOT;
    if (error_class == MPI_ERR_ACCESS) return EACCES;
    if (error_class == MPI_ERR_NO_SUCH_FILE) return ENOENT;
    if (error_class == MPI_ERR_READ_ONLY) return EROFS;
    return EIO;
}

int rank_of(MPI_Comm comm) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    return rank;
}

std::uint64_t pieces_of(std::uint64_t bytes) { return (bytes + piece_bytes - 1) / piece_bytes; }

int write_shared(collective_rows& rows, const std::string& block) {
    const std::uint64_t mine = block.size();
    std::uint64_t before = 0;
    MPI_Exscan(&mine, &before, 1, MPI_UINT64_T, MPI_SUM, rows.comm);
    if (rank_of(rows.comm) == 0) before = 0;  // Exscan leaves rank 0's result undefined
    std::uint64_t total = 0;
    MPI_Allreduce(&mine, &total, 1, MPI_UINT64_T, MPI_SUM, rows.comm);
    const std::uint64_t my_pieces = pieces_of(mine);
    std::uint64_t pieces = 0;
    MPI_Allreduce(&my_pieces, &pieces, 1, MPI_UINT64_T, MPI_MAX, rows.comm);
    int error = 0;
    for (std::uint64_t i = 0; i < pieces; ++i) {
        const std::uint64_t from = std::min(i * piece_bytes, mine);
        const int count = static_cast<int>(std::min(piece_bytes, mine - from));
        MPI_Status status;
        const int result = MPI_File_write_at_all(rows.file, static_cast<MPI_Offset>(rows.offset + before + from),
                                                 block.data() + from, count, MPI_BYTE, &status);
        if (error == 0) {
            error = errno_of(result);
            int written = 0;
            if (error == 0 && (MPI_Get_count(&status, MPI_BYTE, &written) != MPI_SUCCESS || written != count)) {
                error = EIO;
            }
        }
    }
    rows.offset += total;
    return error;
}

constexpr int rows_tag = 7;

// The pieces in which the other ranks' rows reach rank 0 for a direct target.
constexpr std::size_t direct_piece_bytes = std::size_t{1} << 20;

// Writes bytes to rank 0's file, catching what the copy into its buffer may
// throw: rank 0 must go on receiving whatever happens, since the others are
// sending.
int write_caught(output_file& file, const std::string& bytes) {
    try {
        return write_results_rows(file, bytes);
    } catch (...) {
        return ENOMEM;
    }
}

// Rank 0 writes its own block, then receives each other rank's in turn, a
// piece at a time into one buffer made when the file was opened.
int write_direct(collective_rows& rows, const std::string& block) {
    int size = 1;
    MPI_Comm_size(rows.comm, &size);
    const std::uint64_t mine = block.size();
    std::vector<std::uint64_t> sizes(static_cast<std::size_t>(size));
    MPI_Gather(&mine, 1, MPI_UINT64_T, sizes.data(), 1, MPI_UINT64_T, 0, rows.comm);
    if (rank_of(rows.comm) != 0) {
        for (std::uint64_t from = 0; from < mine; from += direct_piece_bytes) {
            const int count = static_cast<int>(std::min<std::uint64_t>(direct_piece_bytes, mine - from));
            MPI_Send(block.data() + from, count, MPI_BYTE, 0, rows_tag, rows.comm);
        }
        return 0;
    }
    int error = write_caught(*rows.direct, block);
    std::string& piece = rows.receive_buffer;
    for (int source = 1; source < size; ++source) {
        const std::uint64_t bytes = sizes[static_cast<std::size_t>(source)];
        for (std::uint64_t from = 0; from < bytes; from += direct_piece_bytes) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(direct_piece_bytes, bytes - from));
            piece.resize(count);  // within the capacity reserved at the start
            MPI_Recv(piece.data(), static_cast<int>(count), MPI_BYTE, source, rows_tag, rows.comm,
                     MPI_STATUS_IGNORE);
            if (error == 0) error = write_caught(*rows.direct, piece);
        }
    }
    return error;
}

}  // namespace

int open_collective_rows(collective_rows& rows, const std::string& path, output_file* direct, MPI_Comm comm) {
    rows = collective_rows{};
    rows.comm = comm;
    rows.direct = direct;
    int error = 0;
    // Rank 0 receives the others' rows for a direct target into this buffer:
    // reserved now, so that receiving needs no memory once the run is under
    // way. A failure here is reported after the calls every process makes.
    if (direct != nullptr) {
        try {
            rows.receive_buffer.reserve(direct_piece_bytes);
        } catch (...) {
            error = ENOMEM;
        }
    }
    int shared = direct == nullptr ? 1 : 0;
    MPI_Bcast(&shared, 1, MPI_INT, 0, comm);
    rows.shared = shared != 0;
    if (!rows.shared) return error;
    // Only rank 0 knows the temporary file's name.
    std::uint64_t length = path.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, 0, comm);
    std::string name = path;
    name.resize(static_cast<std::size_t>(length));
    MPI_Bcast(name.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
    const int result = MPI_File_open(comm, name.c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &rows.file);
    if (result != MPI_SUCCESS) rows.file = MPI_FILE_NULL;
    return errno_of(result);
}

int write_collective_rows(collective_rows& rows, const std::string& block) {
    return rows.shared ? write_shared(rows, block) : write_direct(rows, block);
}

int sync_collective_rows(collective_rows& rows) {
    if (!rows.shared || rows.file == MPI_FILE_NULL) return 0;
    return errno_of(MPI_File_sync(rows.file));
}

int close_collective_rows(collective_rows& rows) {
    if (!rows.shared || rows.file == MPI_FILE_NULL) return 0;
    return errno_of(MPI_File_close(&rows.file));
}

}  // namespace erdos
