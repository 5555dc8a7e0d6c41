// The elimination plan of a sparsity pattern and its replay on residues.
// The plan is symbolic Gaussian elimination with Markowitz's pivot choice:
// the entry whose row and column are shortest, (r - 1)(c - 1) least,
// fills least. A matrix with a few scattered entries per row besides a
// band keeps to a fraction of the fill-in a first-row-first choice makes.
#include "det/pattern_determ.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace polydet {

namespace {

// Rows (or columns) kept in lists by their entry count, so that the
// shortest are found without a scan of all of them.
class Buckets {
public:
    explicit Buckets(int32_t n)
        : head_(static_cast<size_t>(n) + 2, -1), next_(static_cast<size_t>(n), -1),
          prev_(static_cast<size_t>(n), -1), key_(static_cast<size_t>(n), -1) {}
    void insert(int32_t i, int32_t k) {
        k = std::min<int32_t>(k, static_cast<int32_t>(head_.size()) - 1);
        key_[i] = k;
        prev_[i] = -1;
        next_[i] = head_[k];
        if (head_[k] >= 0) prev_[head_[k]] = i;
        head_[k] = i;
    }
    void remove(int32_t i) {
        if (prev_[i] >= 0)
            next_[prev_[i]] = next_[i];
        else
            head_[key_[i]] = next_[i];
        if (next_[i] >= 0) prev_[next_[i]] = prev_[i];
        key_[i] = -1;
    }
    void move(int32_t i, int32_t k) {
        remove(i);
        insert(i, k);
    }
    int32_t first(int32_t k) const { return head_[k]; }
    int32_t next(int32_t i) const { return next_[i]; }
    int32_t keys() const { return static_cast<int32_t>(head_.size()); }

private:
    std::vector<int32_t> head_, next_, prev_, key_;
};

using Entry = std::pair<int32_t, int32_t>;   // column, slot

// Candidates looked at before the cheapest so far is taken: more finds
// a slightly better pivot at the price of a longer search.
constexpr int SEARCH_LINES = 4;

struct Symbolic {
    int32_t n;
    std::vector<std::vector<Entry>> rows;
    std::vector<std::vector<int32_t>> col_rows;   // rows with an entry in the column (dead ones too)
    std::vector<int32_t> col_count;
    std::vector<char> row_live, col_live;
    Buckets row_buckets, col_buckets;

    const wordmod::Prime* P = nullptr;   // with the values of one matrix: its pivots must not vanish
    std::vector<uint32_t> val;

    bool usable(int32_t slot) const { return !P || val[static_cast<size_t>(slot)] != 0; }

    explicit Symbolic(int32_t size)
        : n(size), rows(static_cast<size_t>(size)), col_rows(static_cast<size_t>(size)),
          col_count(static_cast<size_t>(size), 0), row_live(static_cast<size_t>(size), 1),
          col_live(static_cast<size_t>(size), 1), row_buckets(size), col_buckets(size) {}

    int32_t row_length(int32_t r) const { return static_cast<int32_t>(rows[r].size()); }

    int32_t slot_of(int32_t r, int32_t c) const {
        const auto& row = rows[r];
        return std::lower_bound(row.begin(), row.end(), Entry{c, -1})->second;
    }

    // The pivot (row, column) of least Markowitz cost among the shortest
    // rows and columns (further ones while all of these vanish); row -1
    // when a live row or column is empty, or every entry vanishes.
    std::pair<int32_t, int32_t> choose() const {
        int64_t best = std::numeric_limits<int64_t>::max();
        std::pair<int32_t, int32_t> pick{-1, -1};
        int looked = 0;
        auto searching = [&] { return looked < SEARCH_LINES || pick.first < 0; };
        for (int32_t k = 0; k < row_buckets.keys() && searching(); k++) {
            if (k == 0 && (row_buckets.first(0) >= 0 || col_buckets.first(0) >= 0)) return {-1, -1};
            for (int32_t c = col_buckets.first(k); c >= 0 && searching(); c = col_buckets.next(c)) {
                looked++;
                for (int32_t r : col_rows[c]) {
                    if (!row_live[r]) continue;
                    const int64_t cost = int64_t{k - 1} * (row_length(r) - 1);
                    if (cost < best && usable(slot_of(r, c))) {
                        best = cost;
                        pick = {r, c};
                    }
                }
            }
            for (int32_t r = row_buckets.first(k); r >= 0 && searching(); r = row_buckets.next(r)) {
                looked++;
                for (const auto& [c, s] : rows[r]) {
                    const int64_t cost = int64_t{k - 1} * (col_count[c] - 1);
                    if (cost < best && usable(s)) {
                        best = cost;
                        pick = {r, c};
                    }
                }
            }
        }
        return pick;
    }
};

// The parity of the permutation row -> column of the pivots.
bool odd_permutation(const std::vector<int32_t>& to) {
    std::vector<char> seen(to.size(), 0);
    size_t cycles = 0;
    for (size_t i = 0; i < to.size(); i++) {
        if (seen[i]) continue;
        cycles++;
        for (size_t j = i; !seen[j]; j = static_cast<size_t>(to[j])) seen[j] = 1;
    }
    return (to.size() - cycles) % 2 == 1;
}

}  // namespace

int plan_elimination(const std::vector<std::vector<int32_t>>& rows, const uint32_t* values, const wordmod::Prime* prime,
                     size_t update_limit, EliminationPlan* plan) {
    const int32_t n = static_cast<int32_t>(rows.size());
    EliminationPlan& P = *plan;
    P = EliminationPlan{};
    P.n = n;
    Symbolic S(n);
    if (values) S.P = prime;
    int32_t slot = 0;
    for (int32_t r = 0; r < n; r++) {
        for (int32_t c : rows[r]) {
            S.rows[r].emplace_back(c, slot++);
            S.col_rows[c].push_back(r);
            S.col_count[c]++;
        }
    }
    P.entries = slot;
    if (S.P) S.val.assign(values, values + slot);
    for (int32_t i = 0; i < n; i++) {
        S.row_buckets.insert(i, S.row_length(i));
        S.col_buckets.insert(i, S.col_count[i]);
    }
    std::vector<int32_t> matched(static_cast<size_t>(n), -1);
    std::vector<Entry> merged;
    size_t updates = 0;
    for (int32_t k = 0; k < n; k++) {
        const auto [r, c] = S.choose();
        if (r < 0) {
            // An empty row or column: no values give a determinant but 0.
            for (int32_t i = 0; i < n; i++)
                if ((S.row_live[i] && S.rows[i].empty()) || (S.col_live[i] && S.col_count[i] == 0)) return -1;
            return 0;
        }
        matched[r] = c;
        std::vector<Entry> pivot_row;
        int32_t pivot_slot = -1;
        for (const Entry& e : S.rows[r]) {
            if (e.first == c)
                pivot_slot = e.second;
            else
                pivot_row.push_back(e);
        }
        P.pivot.push_back(pivot_slot);
        P.src_begin.push_back(static_cast<int32_t>(P.src.size()));
        P.src_len.push_back(static_cast<int32_t>(pivot_row.size()));
        P.mult_begin.push_back(static_cast<int32_t>(P.mult.size()));
        for (const Entry& e : pivot_row) P.src.push_back(e.second);
        S.row_live[r] = 0;
        S.col_live[c] = 0;
        S.row_buckets.remove(r);
        S.col_buckets.remove(c);
        for (const Entry& e : pivot_row) {
            S.col_count[e.first]--;
            S.col_buckets.move(e.first, S.col_count[e.first]);
        }
        uint32_t inverse = 0;
        if (S.P) inverse = S.P->inv(S.val[static_cast<size_t>(pivot_slot)]);
        for (int32_t i : S.col_rows[c]) {
            if (!S.row_live[i]) continue;
            updates += pivot_row.size();
            if (updates > update_limit) return -1;
            const size_t first_dst = P.dst.size();
            // Row i less column c, merged with the pivot row: a column the
            // row lacks is fill-in and gets a fresh slot.
            std::vector<Entry>& row = S.rows[i];
            merged.clear();
            size_t a = 0;
            for (const Entry& u : pivot_row) {
                while (a < row.size() && row[a].first < u.first) {
                    if (row[a].first == c)
                        P.mult.push_back(row[a].second);
                    else
                        merged.push_back(row[a]);
                    a++;
                }
                if (a < row.size() && row[a].first == u.first) {
                    P.dst.push_back(row[a].second);
                    merged.push_back(row[a++]);
                } else {
                    P.dst.push_back(slot);
                    merged.emplace_back(u.first, slot++);
                    S.col_rows[u.first].push_back(i);
                    S.col_count[u.first]++;
                    S.col_buckets.move(u.first, S.col_count[u.first]);
                }
            }
            for (; a < row.size(); a++) {
                if (row[a].first == c)
                    P.mult.push_back(row[a].second);
                else
                    merged.push_back(row[a]);
            }
            row.swap(merged);
            S.row_buckets.move(i, S.row_length(i));
            if (!S.P) continue;
            const wordmod::Prime& Q = *S.P;
            S.val.resize(static_cast<size_t>(slot), 0);
            const uint32_t f = Q.mul(S.val[static_cast<size_t>(P.mult.back())], inverse);
            for (size_t j = 0; j < pivot_row.size(); j++) {
                uint32_t& d = S.val[static_cast<size_t>(P.dst[first_dst + j])];
                d = Q.sub(d, Q.mul(f, S.val[static_cast<size_t>(pivot_row[j].second)]));
            }
        }
    }
    P.mult_begin.push_back(static_cast<int32_t>(P.mult.size()));
    P.slots = slot;
    P.negate = odd_permutation(matched);
    return 1;
}

bool planned_determinant(const EliminationPlan& plan, const uint32_t* values, const wordmod::Prime& P,
                         std::vector<uint32_t>& work, uint32_t* det) {
    work.assign(static_cast<size_t>(plan.slots), 0);
    std::copy(values, values + plan.entries, work.begin());
    uint32_t* v = work.data();
    const int32_t* dst = plan.dst.data();
    uint32_t d = 1 % P.p;
    for (int32_t k = 0; k < plan.n; k++) {
        const uint32_t pv = v[plan.pivot[k]];
        if (pv == 0) return false;
        d = P.mul(d, pv);
        const int32_t len = plan.src_len[k];
        const int32_t* src = plan.src.data() + plan.src_begin[k];
        const int32_t last = plan.mult_begin[static_cast<size_t>(k) + 1];
        // A pivot alone in its row or its column changes nothing else.
        if (len == 0 || plan.mult_begin[k] == last) continue;
        const uint32_t inv = P.inv(pv);
        for (int32_t t = plan.mult_begin[k]; t < last; t++, dst += len) {
            const uint32_t a = v[plan.mult[t]];
            if (a == 0) continue;
            const wordmod::Multiplier f(P.p - P.mul(a, inv), P);
            for (int32_t j = 0; j < len; j++) v[dst[j]] = P.add(v[dst[j]], f.times(v[src[j]]));
        }
    }
    *det = plan.negate && d != 0 ? P.p - d : d;
    return true;
}

}  // namespace polydet
