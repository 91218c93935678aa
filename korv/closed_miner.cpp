// Depth-first growth of closed sequences with forward counting, a closure test and two period
// checks over the windows before each pattern position.
//
// Search levels. Level L holds the candidate patterns of L items that extend the pattern being
// explored at level L - 1 (level 0 holds the empty pattern, whose extensions are the frequent
// items). Each candidate is a pattern_node; its embeddings, one per supporting sequence in
// sequence order, sit contiguously in the level's arena. An embedding stores only the pattern's
// last position and the index of its parent embedding one level up, so the first instance
// f(0) .. f(L-1) of a pattern is the chain of parents, read from the last item backwards; that
// is the order in which the period checks need it, and no embedding copies its prefix.
//
// Scans forward read only the items that can still extend a pattern. When a node builds its
// children it also keeps, per supporting sequence, the cells after its first instance whose item
// extends it frequently (its `scan` cells); a child's embedding points just past its own first
// cell there. Any frequent extension of a child extends the node frequently too, so every
// occurrence a child's scan needs is among its parent's scan cells. The one-item patterns scan
// the sequences themselves, in which every item is frequent.
//
// Children are built straight into the arena of their level, and those that fail the pruning
// check are squeezed out in place. Arenas keep their size and capacity, so nothing is allocated
// or filled while a sequence is scanned; the cells past a level's last node are scratch.
//
// The per-item scratch arrays are shared by all levels. Every user resets exactly the slots it
// touched, so a search node costs time in proportion to the data it scans, never to the number
// of distinct items.
//
// With more than one thread, each worker owns a search_state (scratch arrays, levels, pending
// output) and explores tasks: a level of sibling nodes with a private copy of the embedding
// chain above it. Only the task queue and the ordered list of output chunks are shared; see
// parallel_search.
#include "closed_miner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <limits>

#include "run_vector.h"

namespace korv {

namespace {

// The scans over a pattern's embeddings jump from one sequence to the next; asking for the first
// cell of the embedding this many places ahead hides most of the memory latency of each jump.
constexpr std::int32_t prefetch_distance = 8;

// One supporting sequence of a pattern of L items.
struct embedding {
    std::int32_t first;   // f(L-1): position of the pattern's last item in its first instance
    std::int32_t last;    // last occurrence of that item after f(L-2): where the backward check starts
    std::int32_t parent;  // index of the embedding of the L-1 item prefix one level up; -1 at level 0
    // Where the cells after `first` begin in the scan source of level L: the sequence buffer
    // for L <= 1, else the scan cells of level L - 1. They run up to a seq_end_mark.
    std::int32_t suffix;
};

// A candidate pattern: its parent's items followed by `item`.
struct pattern_node {
    std::int32_t item;     // rank of the last item; -1 for the empty pattern
    std::int32_t support;  // number of embeddings
    std::int32_t begin;    // index of the first embedding in the level's arena
    // Whether, in some embedding, the last item occurs again after the first instance. When it
    // does not, the last-occurrence chain is the first-instance chain, so the backward-extension
    // check repeats the pruning check the node has already passed.
    bool last_moved = false;
};

struct search_level {
    run_vector<embedding> embeddings;  // the nodes' embeddings, then scratch cells
    run_vector<pattern_node> nodes;  // in increasing item rank
    std::size_t next = 0;             // next node of `nodes` to explore
    // The scan cells of the node being explored here, which its children's suffixes index: the
    // sequence positions of the cells, and seq_end_mark after each supporting sequence. Unused at
    // level 0, whose children scan the sequence buffer. Cells shared with a task are never
    // written again: the next node here builds into fresh storage.
    std::shared_ptr<run_vector<std::int32_t>> scan;
    std::size_t scan_used = 0;  // cells of `scan` in use; the rest is scratch
    bool scan_shared = false;
};

// Closed sequences of a parallel run waiting for their turn: per sequence its length, its
// support, then its item ids.
struct output_chunk;
using chunk_list = std::list<output_chunk>;
struct search_task;

struct output_chunk {
    run_vector<std::int32_t> records;
    bool done = false;                  // its writer has moved on; nothing more is appended
    search_task* queued = nullptr;      // the task that will write it, while it waits in the queue
};

// A part of the search handed to a worker: the sibling nodes of one level, explored in order
// with everything below them, and the chain of embeddings of their parent pattern.
struct search_task {
    std::size_t level = 1;                     // level of `nodes`
    run_vector<std::int32_t> path;             // ranks of the parent pattern's level - 1 items
    std::vector<run_vector<embedding>> chain;  // chain[i - 1]: the parent's i-item prefix
    run_vector<pattern_node> nodes;            // begin indexes `embeddings`
    run_vector<embedding> embeddings;          // parents index chain.back(), or level 0
    std::shared_ptr<run_vector<std::int32_t>> scan;  // the parent's scan cells, which `embeddings` index; none at level 1
    std::size_t scan_used = 0;
    std::size_t top = 0;                       // index of the one-item pattern above it all
    chunk_list::iterator output;               // where its closed sequences go
};

class parallel_search;

class search_state {
public:
    search_state(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                 search_progress* progress);
    mining_result run();

private:
    friend class parallel_search;
    void build_root_level();
    void run_task(parallel_search& pool, search_task& work, bool nested);
    void install(search_task& work);
    void split(parallel_search& pool, std::size_t base, std::size_t depth);
    void publish_progress();

    bool mine_pattern(std::size_t length, const pattern_node& node);
    // Instantiated for data in which no sequence repeats an item (distinct_items) and for any
    // data; the first skips the work that only repeated items need.
    template <bool distinct_items, bool from_sequences>
    std::size_t count_forward(const std::int32_t* scan, const embedding* embeddings,
                              std::int32_t support);
    template <bool distinct_items, bool from_sequences, bool keep_scan>
    void build_children(std::size_t length, const pattern_node& node, std::size_t frequent);
    template <bool distinct_items>
    bool period_walk(std::size_t length, const embedding* own, std::int32_t support,
                     bool from_last);
    void keep_unpruned_children(std::size_t length);
    bool period_check(std::size_t length, const embedding* own, std::int32_t support,
                      bool from_last);
    bool last_window_common(std::size_t length, const embedding* own, std::int32_t support,
                            bool from_last);
    void record_closed(std::size_t length, std::int32_t support);
    std::uint32_t fresh_tokens(std::uint32_t count);
    void ensure_depth(std::size_t length);
    search_level& level_at(std::size_t length);

    const std::int32_t* seq_buffer_;
    const sequence_db& db_;
    const std::int32_t abs_support_;
    closed_sink* const sink_;
    search_progress* const progress_;
    std::int64_t closed_found_ = 0;
    bool stopped_ = false;

    // In a parallel run: the chunk the closed sequences go to, the records not yet handed to
    // it, the chunks to move on to when the search leaves a level whose remaining nodes were
    // given away, and a second state for running another task while this one waits.
    parallel_search* pool_ = nullptr;
    chunk_list::iterator chunk_;
    run_vector<std::int32_t> batch_;
    std::vector<std::pair<std::size_t, chunk_list::iterator>> switches_;
    std::unique_ptr<search_state> helper_;
    std::size_t top_ = 0;

    run_vector<search_level> levels_;
    run_vector<pattern_node> built_nodes_;  // children of the node being expanded
    run_vector<std::int32_t> path_;     // ranks of the items of the pattern being explored
    run_vector<std::int32_t> path_ids_; // the same items as data file ids
    run_vector<std::int64_t> length_histogram_;

    // Forward counting and child building; indexed by item rank.
    run_vector<std::int32_t> item_support_;   // 0 when untouched
    run_vector<std::int32_t> item_cells_;     // cells of the item scanned, repeats included; 0 when untouched
    run_vector<std::int32_t> item_last_seq_;  // embedding that last counted the item; -1 = none
    run_vector<std::int32_t> item_child_;     // child index of the item; -1 = not frequent here
    run_vector<std::int32_t> touched_;        // items counted at this node
    run_vector<std::int32_t> child_filled_;      // per child: embeddings filled so far
    run_vector<std::int32_t> child_last_parent_; // per child: parent embedding of the newest one
    run_vector<std::int32_t> child_moved_;       // per child: 1 once some last position moved
    run_vector<std::int32_t> child_cursor_;      // -1 and per child: where the next embedding goes

    // Period checks. Windows mark items in period_tally with fresh tokens, so no reset is needed
    // between windows. period_candidates holds the items that stood in the last window of every
    // embedding so far.
    run_vector<std::uint32_t> period_tally_;
    std::uint32_t token_ = 0;
    run_vector<std::int32_t> period_candidates_;
    run_vector<const embedding*> chain_levels_;  // per level above a checked pattern: its arena
    // Per supporting sequence of a checked pattern: how far up its chain period_walk has walked,
    // the embedding there and the h of that position. Valid while `call` is the walk's number.
    struct chain_cursor {
        std::uint32_t call;
        std::int32_t level, index, h;
    };
    run_vector<chain_cursor> cursors_;
    std::uint32_t walk_call_ = 0;
};

search_state::search_state(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                           search_progress* progress)
    : seq_buffer_(db.seq_buffer.data()),
      db_(db),
      abs_support_(abs_support),
      sink_(sink),
      progress_(progress) {
    const std::size_t items = db.item_ids.size();
    resize_or_exit(item_support_, items, std::int32_t{0});
    if (!db.distinct_items) resize_or_exit(item_cells_, items, std::int32_t{0});
    resize_or_exit(item_last_seq_, items, std::int32_t{-1});
    resize_or_exit(item_child_, items, std::int32_t{-1});
    resize_or_exit(touched_, items, std::int32_t{0});
    resize_or_exit(child_filled_, items, std::int32_t{0});
    resize_or_exit(child_last_parent_, items, std::int32_t{-1});
    resize_or_exit(child_moved_, items, std::int32_t{0});
    resize_or_exit(child_cursor_, items + 1, std::int32_t{0});
    resize_or_exit(period_tally_, items, std::uint32_t{0});
}

// Makes the per-depth arrays hold patterns of up to `length` items. They grow with the depth
// the search reaches, not with the longest sequence, which may be far longer.
void search_state::ensure_depth(std::size_t length) {
    if (length < path_.size()) return;
    const std::size_t size = std::max(length + 1, 2 * path_.size());
    resize_or_exit(path_, size, std::int32_t{0});
    resize_or_exit(path_ids_, size, std::int32_t{0});
    resize_or_exit(length_histogram_, size, std::int64_t{0});
    resize_or_exit(chain_levels_, size, static_cast<const embedding*>(nullptr));
}

// Adds the level for patterns of `length` items when the search first gets that deep.
search_level& search_state::level_at(std::size_t length) {
    if (levels_.size() == length) {
        if (levels_.size() == levels_.capacity()) reserve_or_exit(levels_, 2 * levels_.size() + 8);
        levels_.emplace_back();
    }
    return levels_[length];
}

// Level 0: the empty pattern, embedded in every sequence just before its first item.
void search_state::build_root_level() {
    search_level& root_level = level_at(0);
    const auto sequences = static_cast<std::int32_t>(db_.sequence_starts.size());
    resize_or_exit(root_level.embeddings, db_.sequence_starts.size());
    for (std::int32_t s = 0; s < sequences; ++s) {
        const std::int32_t start = db_.sequence_starts[static_cast<std::size_t>(s)];
        root_level.embeddings[static_cast<std::size_t>(s)] = {start, start, -1, start + 1};
    }
    root_level.nodes.assign(1, pattern_node{-1, sequences, 0});
}

mining_result search_state::run() {
    build_root_level();
    const pattern_node root = levels_[0].nodes[0];
    // Every item of the data is frequent, and the items are explored in rank order, so the
    // items done are those ranked below the one being explored.
    const auto items = static_cast<std::int32_t>(db_.item_ids.size());
    if (progress_ != nullptr) progress_->items_total.store(items, std::memory_order_relaxed);

    // The recursion of the search, kept on an explicit stack of levels so that patterns as long
    // as the longest sequence cannot exhaust the call stack.
    std::size_t depth = mine_pattern(0, root) ? 1 : 0;
    while (depth > 0 && !stopped_) {
        search_level& level = levels_[depth];
        if (level.next == level.nodes.size()) {
            --depth;
            continue;
        }
        const pattern_node node = level.nodes[level.next++];
        if (depth == 1 && progress_ != nullptr)
            progress_->items_done.store(node.item, std::memory_order_relaxed);
        path_[depth - 1] = node.item;
        path_ids_[depth - 1] = db_.item_ids[static_cast<std::size_t>(node.item)];
        if (mine_pattern(depth, node)) ++depth;
    }
    if (progress_ != nullptr && !stopped_)
        progress_->items_done.store(items, std::memory_order_relaxed);
    return {std::move(length_histogram_), stopped_};
}

// Counts, for every item, the embeddings in which it follows the first instance: the support of
// the pattern extended by that item. Leaves the touched items in touched_ and returns how many.
template <bool distinct_items, bool from_sequences>
std::size_t search_state::count_forward(const std::int32_t* scan, const embedding* embeddings,
                                        std::int32_t support) {
    // Local copies of the array pointers keep them in registers across the stores below.
    const std::int32_t* const cells = seq_buffer_;
    std::int32_t* const last_seq = item_last_seq_.data();
    std::int32_t* const counts = item_support_.data();
    std::int32_t* const cells_of = item_cells_.data();
    std::int32_t* const touched_items = touched_.data();
    std::size_t touched = 0;
    for (std::int32_t g = 0; g < support; ++g) {
        if (g + prefetch_distance < support)
            __builtin_prefetch((from_sequences ? cells : scan) + embeddings[g + prefetch_distance].suffix);
        for (std::int32_t k = embeddings[g].suffix;; ++k) {
            const std::int32_t q = from_sequences ? k : scan[k];
            if (from_sequences ? cells[q] < 0 : q < 0) break;
            const auto x = static_cast<std::size_t>(cells[q]);
            if constexpr (!distinct_items) {
                ++cells_of[x];
                if (last_seq[x] == g) continue;
                last_seq[x] = g;
            }
            if (counts[x]++ == 0) touched_items[touched++] = static_cast<std::int32_t>(x);
        }
    }
    return touched;
}

// Explores the pattern of `length` items whose last level entry is `node`: decides whether it is
// closed and builds its frequent children, which survive the pruning check, in the level below.
// Returns whether any child is left to explore.
bool search_state::mine_pattern(std::size_t length, const pattern_node& node) {
    ensure_depth(length + 1);
    const embedding* embeddings = levels_[length].embeddings.data() + node.begin;
    const std::int32_t* const scan = length <= 1 ? nullptr : levels_[length - 1].scan->data();
    const std::size_t touched =
        length <= 1 ? (db_.distinct_items ? count_forward<true, true>(scan, embeddings, node.support)
                                          : count_forward<false, true>(scan, embeddings, node.support))
                    : (db_.distinct_items ? count_forward<true, false>(scan, embeddings, node.support)
                                          : count_forward<false, false>(scan, embeddings, node.support));

    // Closure test: an extension with unchanged support means the pattern is not closed. Items
    // below the threshold are reset here; the frequent ones move to the front of touched_.
    std::size_t frequent = 0;
    std::int32_t equal = 0;
    for (std::size_t t = 0; t < touched; ++t) {
        const std::int32_t x = touched_[t];
        const auto slot = static_cast<std::size_t>(x);
        item_last_seq_[slot] = -1;
        if (item_support_[slot] < abs_support_) {
            item_support_[slot] = 0;
            if (!db_.distinct_items) item_cells_[slot] = 0;
            continue;
        }
        if (item_support_[slot] == node.support) ++equal;
        touched_[frequent++] = x;
    }
    // The backward-extension check (an item that can be inserted before or between the items in
    // every supporting sequence) matters only when no forward extension already decided.
    if (length > 0 && equal == 0 &&
        (!node.last_moved || !period_check(length, embeddings, node.support, true)))
        record_closed(length, node.support);
    if (frequent == 0) return false;

    std::sort(touched_.begin(), touched_.begin() + static_cast<std::ptrdiff_t>(frequent));
    level_at(length + 1);
    if (length == 0)
        db_.distinct_items ? build_children<true, true, false>(length, node, frequent)
                           : build_children<false, true, false>(length, node, frequent);
    else if (length == 1)
        db_.distinct_items ? build_children<true, true, true>(length, node, frequent)
                           : build_children<false, true, true>(length, node, frequent);
    else
        db_.distinct_items ? build_children<true, false, true>(length, node, frequent)
                           : build_children<false, false, true>(length, node, frequent);
    keep_unpruned_children(length + 1);
    return !levels_[length + 1].nodes.empty();
}

// Builds one child per frequent extension item, in increasing item order, with its embeddings
// filled in one forward pass over the node's suffixes. The pass reads the sequence buffer
// (from_sequences: the empty and the one-item patterns) or the scan cells of the level above.
// With keep_scan it also writes the node's own scan cells, which its children's suffixes index;
// without (the empty pattern), the children's suffixes index the sequence buffer.
template <bool distinct_items, bool from_sequences, bool keep_scan>
void search_state::build_children(std::size_t length, const pattern_node& node,
                                  std::size_t frequent) {
    resize_or_exit(built_nodes_, frequent);
    std::size_t total = 0;
    std::size_t scan_cells = static_cast<std::size_t>(node.support);  // the end marks
    for (std::size_t c = 0; c < frequent; ++c) {
        const auto x = static_cast<std::size_t>(touched_[c]);
        built_nodes_[c] = {touched_[c], item_support_[x], static_cast<std::int32_t>(total)};
        total += static_cast<std::size_t>(item_support_[x]);
        scan_cells += static_cast<std::size_t>(distinct_items ? item_support_[x] : item_cells_[x]);
        item_child_[x] = static_cast<std::int32_t>(c);
        child_filled_[c] = 0;
        child_last_parent_[c] = -1;
        child_moved_[c] = 0;
    }
    // One cell past the children (and past the scan cells) takes the writes for items that start
    // no child. The arenas only grow, so that no node pays for filling cells it may not use.
    run_vector<embedding>& arena = levels_[length + 1].embeddings;
    if (arena.size() < total + 1) resize_or_exit(arena, total + 1);
    std::int32_t* kept_scan = nullptr;
    if constexpr (keep_scan) {
        search_level& own = levels_[length];
        if (!own.scan || own.scan_shared) {
            own.scan = std::make_shared<run_vector<std::int32_t>>();
            own.scan_shared = false;
        }
        check_addressable(scan_cells + 1, sizeof(std::int32_t));
        if (own.scan->size() < scan_cells + 1) resize_or_exit(*own.scan, scan_cells + 1, std::int32_t{0});
        own.scan_used = scan_cells;
        kept_scan = own.scan->data();
    }

    // The first occurrence of an item after the node's first instance starts the child's
    // embedding for that sequence; later occurrences move its last position on.
    const embedding* const parents = levels_[length].embeddings.data() + node.begin;
    const std::int32_t* const cells = seq_buffer_;
    const std::int32_t* const scan = from_sequences ? nullptr : levels_[length - 1].scan->data();
    embedding* const children = arena.data();
    const pattern_node* const nodes = built_nodes_.data();
    const std::int32_t* const child_of = item_child_.data();
    std::int32_t* const last_parent = child_last_parent_.data();
    std::int32_t* const filled = child_filled_.data();
    std::int32_t* const moved = child_moved_.data();
    std::int32_t kept = 0;  // scan cells written
    if constexpr (distinct_items) {
        std::int32_t* const cursor = child_cursor_.data() + 1;
        cursor[-1] = static_cast<std::int32_t>(total);
        for (std::size_t c = 0; c < frequent; ++c) cursor[c] = built_nodes_[c].begin;
    }
    for (std::int32_t d = 0; d < node.support; ++d) {
        if (d + prefetch_distance < node.support)
            __builtin_prefetch((from_sequences ? cells : scan) + parents[d + prefetch_distance].suffix);
        const std::int32_t parent = node.begin + d;
        for (std::int32_t k = parents[d].suffix;; ++k) {
            const std::int32_t q = from_sequences ? k : scan[k];
            if (from_sequences ? cells[q] < 0 : q < 0) break;
            const std::int32_t x = cells[q];
            const std::int32_t child = child_of[x];
            if constexpr (distinct_items) {
                // Every cell is written somewhere, without a branch on whether its item starts a
                // child: cursor[-1] is the spare cell past the children and never moves, and a
                // scan cell is kept by moving past it.
                std::int32_t* const cursor = child_cursor_.data() + 1;
                children[cursor[child]] = {q, q, parent, keep_scan ? kept + 1 : k + 1};
                cursor[child] += child >= 0 ? 1 : 0;
                if constexpr (keep_scan) {
                    kept_scan[kept] = q;
                    kept += child >= 0 ? 1 : 0;
                }
            } else {
                if (child < 0) continue;
                if constexpr (keep_scan) kept_scan[kept++] = q;
                const std::int32_t base = nodes[child].begin;
                if (last_parent[child] != d) {
                    last_parent[child] = d;
                    children[base + filled[child]++] = {q, q, parent, keep_scan ? kept : k + 1};
                } else {
                    children[base + filled[child] - 1].last = q;
                    moved[child] = 1;
                }
            }
        }
        if constexpr (keep_scan) kept_scan[kept++] = seq_end_mark;
    }
    for (std::size_t c = 0; c < frequent; ++c) built_nodes_[c].last_moved = moved[c] != 0;

    for (std::size_t c = 0; c < frequent; ++c) {
        const auto x = static_cast<std::size_t>(touched_[c]);
        item_child_[x] = -1;
        item_support_[x] = 0;
        if constexpr (!distinct_items) item_cells_[x] = 0;
    }
}

// Moves the children that pass the pruning check into the level of `length` items. A child is
// dropped when some item stands in the same first-instance window of every supporting sequence:
// no pattern that starts with it can then be closed. The check depends only on the data, so
// running it before any sibling is explored changes nothing but the memory held.
void search_state::keep_unpruned_children(std::size_t length) {
    search_level& level = levels_[length];
    std::size_t kept_nodes = 0;
    for (pattern_node& child : built_nodes_) {
        if (period_check(length, level.embeddings.data() + child.begin, child.support, false))
            child.item = -1;
        else
            ++kept_nodes;
    }
    level.nodes.clear();
    level.next = 0;
    reserve_or_exit(level.nodes, kept_nodes);
    // Survivors move towards the front, in order, so no move overwrites what is still to move.
    embedding* const cells = level.embeddings.data();
    std::int32_t kept = 0;
    for (const pattern_node& child : built_nodes_) {
        if (child.item < 0) continue;
        if (kept != child.begin)
            std::copy(cells + child.begin, cells + child.begin + child.support, cells + kept);
        level.nodes.push_back({child.item, child.support, kept, child.last_moved});
        kept += child.support;
    }
}

std::uint32_t search_state::fresh_tokens(std::uint32_t count) {
    if (token_ > std::numeric_limits<std::uint32_t>::max() - count) {
        std::fill(period_tally_.begin(), period_tally_.end(), std::uint32_t{0});
        token_ = 0;
    }
    token_ += count;
    return token_ - count + 1;
}

// Whether some item stands in the same window of every supporting sequence of the pattern of
// `length` items whose embeddings start at `own`. Window i lies strictly between f(i-1) (the
// start of the sequence for i = 0) and h(i), where h(L-1) is the pattern's last position in its
// first instance (pruning check) or its last occurrence (backward-extension check), and h(i-1)
// is the last occurrence of item i-1 before h(i), or f(i-1) when the window holds none.
// last_window_common tries the last window alone first, then period_walk the others.
//
// Whether some item stands in the last window (position L-1) of every supporting sequence: the
// commonest reason for either check to answer yes, found without walking the whole chain.
bool search_state::last_window_common(std::size_t length, const embedding* own,
                                      std::int32_t support, bool from_last) {
    const std::size_t item_count = period_tally_.size();
    const embedding* prefixes = levels_[length - 1].embeddings.data();
    auto window_of = [&](std::int32_t g, std::int32_t& lower, std::int32_t& h) {
        lower = prefixes[own[g].parent].first;
        h = from_last ? own[g].last : own[g].first;
    };
    // The sequence with the smallest window goes first, so that the candidates start few; an
    // empty window settles the answer at once.
    std::int32_t first = 0;
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t g = 0; g < support && smallest > 0; ++g) {
        std::int32_t lower = 0, h = 0;
        window_of(g, lower, h);
        if (h - lower - 1 < smallest) {
            smallest = h - lower - 1;
            first = g;
        }
    }
    if (smallest == 0) return false;
    std::size_t candidates = 0;
    for (std::int32_t step = 0; step < support; ++step) {
        // Sequences in the order first, then the others ascending.
        const std::int32_t g = step == 0 ? first : (step <= first ? step - 1 : step);
        std::int32_t lower = 0, h = 0;
        window_of(g, lower, h);
        if (step == 0) {
            if (support == 1) return h - 1 > lower;
            const auto window = static_cast<std::size_t>(h - lower - 1);
            const std::size_t needed = std::min(window, item_count);
            if (needed > period_candidates_.size())
                resize_or_exit(period_candidates_, std::max(needed, 2 * period_candidates_.size()));
            const std::uint32_t seen = fresh_tokens(1);
            for (std::int32_t q = h - 1; q > lower; --q) {
                const auto x = static_cast<std::size_t>(seq_buffer_[q]);
                if (period_tally_[x] == seen) continue;
                period_tally_[x] = seen;
                period_candidates_[candidates++] = seq_buffer_[q];
            }
        } else {
            const std::uint32_t listed = fresh_tokens(2);
            const std::uint32_t seen = listed + 1;
            std::int32_t* row = period_candidates_.data();
            for (std::size_t k = 0; k < candidates; ++k)
                period_tally_[static_cast<std::size_t>(row[k])] = listed;
            for (std::int32_t q = h - 1; q > lower; --q) {
                const auto x = static_cast<std::size_t>(seq_buffer_[q]);
                if (period_tally_[x] == listed) period_tally_[x] = seen;
            }
            std::size_t kept = 0;
            for (std::size_t k = 0; k < candidates; ++k)
                if (period_tally_[static_cast<std::size_t>(row[k])] == seen) row[kept++] = row[k];
            candidates = kept;
        }
        if (candidates == 0) return false;
    }
    return true;
}

bool search_state::period_check(std::size_t length, const embedding* own, std::int32_t support,
                                bool from_last) {
    if (last_window_common(length, own, support, from_last)) return true;
    return db_.distinct_items ? period_walk<true>(length, own, support, from_last)
                              : period_walk<false>(length, own, support, from_last);
}

// The whole chain of windows, for period_check. Positions are taken one at a time, from the one
// before the last (which last_window_common has settled) down to 0, each against the sequences in
// order until one leaves no item common to all so far; a position that outlives every sequence
// answers yes. Most positions die within a few sequences, so each sequence's chain is walked up
// only as far as a position needs it. Without repeated items, item i-1 occurs only at f(i-1), so
// the next h is f(i-1) and no window needs searching for it.
template <bool distinct_items>
bool search_state::period_walk(std::size_t length, const embedding* own, std::int32_t support,
                               bool from_last) {
    const embedding** const chain = chain_levels_.data();
    for (std::size_t i = 0; i < length; ++i) chain[i] = levels_[i].embeddings.data();
    if (cursors_.size() < static_cast<std::size_t>(support))
        resize_or_exit(cursors_, static_cast<std::size_t>(support), chain_cursor{0, 0, 0, 0});
    if (++walk_call_ == 0) {
        for (chain_cursor& cursor : cursors_) cursor.call = 0;
        walk_call_ = 1;
    }
    chain_cursor* const cursors = cursors_.data();
    std::uint32_t* const tally = period_tally_.data();
    // The window of position i in sequence g, as the positions strictly between lower and h.
    auto window = [&](std::int32_t g, std::int32_t i, std::int32_t& lower, std::int32_t& h) {
        chain_cursor& cursor = cursors[g];
        if (cursor.call != walk_call_) {
            cursor = {walk_call_, static_cast<std::int32_t>(length) - 1, own[g].parent,
                      from_last ? own[g].last : own[g].first};
        }
        // cursor.index is the embedding at `level` of the first `level` items; it ends at the h of
        // the position below.
        for (; cursor.level > i; --cursor.level) {
            const embedding& prefix = chain[cursor.level][cursor.index];
            std::int32_t next_h = prefix.first;
            if constexpr (!distinct_items) {
                // The last occurrence of item level-1 before h; f(level-1) holds it at the latest.
                const std::int32_t target = path_[static_cast<std::size_t>(cursor.level) - 1];
                next_h = cursor.h - 1;
                while (seq_buffer_[next_h] != target) --next_h;
            }
            cursor.h = next_h;
            cursor.index = prefix.parent;
        }
        lower = chain[i][cursor.index].first;
        h = cursor.h;
    };
    for (std::int32_t i = static_cast<std::int32_t>(length) - 1; i-- > 0;) {
        // Sequence g raises the items of its window that stand at token base + g - 1 (in every
        // window so far) to base + g; the tokens are fresh, so no earlier mark can match.
        const std::uint32_t base = fresh_tokens(static_cast<std::uint32_t>(support));
        bool alive = true;
        for (std::int32_t g = 0; alive && g < support; ++g) {
            std::int32_t lower = 0, h = 0;
            window(g, i, lower, h);
            std::int32_t raised = 0;
            if (g == 0) {
                for (std::int32_t q = h - 1; q > lower; --q) tally[seq_buffer_[q]] = base;
                raised = h - 1 - lower;
            } else {
                const std::uint32_t common = base + static_cast<std::uint32_t>(g) - 1;
                for (std::int32_t q = h - 1; q > lower; --q) {
                    const std::uint32_t t = tally[seq_buffer_[q]];
                    const std::uint32_t hit = t == common ? 1 : 0;
                    tally[seq_buffer_[q]] = t + hit;
                    raised += static_cast<std::int32_t>(hit);
                }
            }
            alive = raised > 0;
        }
        if (alive) return true;
    }
    return false;
}

// A parallel run: the one-item patterns are tasks taken in item order, and a worker that sees
// another one idle gives away the unexplored siblings of the shallowest level it can, so a huge
// first item cannot serialise the run. Each task's closed sequences go to its own chunk of a list
// kept in search order; the first chunk of the list is delivered to the sink as it is written,
// the others wait, at most output_limit bytes of them: a writer that would pass the bound waits
// until its chunk comes first, and meanwhile runs the task that owns the first chunk when that
// one still waits in the queue, so the next delivery can always go ahead.
class parallel_search {
public:
    parallel_search(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                    search_progress* progress, const thread_options& options)
        : db_(db),
          abs_support_(abs_support),
          sink_(sink),
          progress_(progress),
          threads_(options.threads),
          always_split_(options.always_split),
          output_limit_(options.output_limit_bytes),
          batch_limit_(std::max<std::size_t>(std::min<std::size_t>(options.output_limit_bytes / 32,
                                                                   16384), 1)) {}

    mining_result run();

    bool hungry() const { return always_split_ || hungry_.load(std::memory_order_relaxed); }
    bool stopping() const { return stop_.load(std::memory_order_relaxed); }
    std::size_t batch_limit() const { return batch_limit_; }
    std::unique_ptr<search_state> make_state() const {
        return std::make_unique<search_state>(db_, abs_support_, sink_, progress_);
    }

    std::unique_ptr<search_task> next_task();
    chunk_list::iterator queue_split(std::unique_ptr<search_task> work,
                                     chunk_list::iterator after);
    void publish(search_state& writer);
    void close_chunk(search_state& writer);
    void finish_task(const search_task& work);

private:
    void work(search_state& state);
    void deliver(const run_vector<std::int32_t>& records);
    void update_hunger() { hungry_.store(idle_ > queue_.size(), std::memory_order_relaxed); }

    const sequence_db& db_;
    const std::int32_t abs_support_;
    closed_sink* const sink_;
    search_progress* const progress_;
    const int threads_;
    const bool always_split_;
    const std::size_t output_limit_;
    const std::size_t batch_limit_;

    // The one-item patterns that survive pruning, with their embeddings.
    run_vector<pattern_node> tops_;
    run_vector<embedding> top_embeddings_;

    std::mutex mutex_;
    std::condition_variable work_changed_;  // a task was queued, or the last one finished
    std::condition_variable output_moved_;  // the first chunk changed or buffered bytes fell
    std::deque<std::unique_ptr<search_task>> queue_;
    std::size_t next_top_ = 0;
    std::size_t running_ = 0;
    std::size_t idle_ = 0;
    run_vector<std::int32_t> outstanding_;  // per one-item pattern: its tasks not yet finished
    chunk_list chunks_;                     // from the first chunk not yet fully delivered
    std::size_t buffered_ = 0;              // bytes of records waiting in chunks
    std::exception_ptr failure_;
    std::atomic<bool> hungry_{false};
    std::atomic<bool> stop_{false};
};

void search_state::record_closed(std::size_t length, std::int32_t support) {
    ++length_histogram_[length];
    ++closed_found_;
    if (pool_ == nullptr) {
        if (progress_ != nullptr)
            progress_->closed_found.store(closed_found_, std::memory_order_relaxed);
        if (sink_ != nullptr && !sink_->write_closed({path_ids_.data(), length}, support))
            stopped_ = true;
        return;
    }
    if (closed_found_ % 256 == 0) publish_progress();
    if (sink_ == nullptr) return;
    push_or_exit(batch_, static_cast<std::int32_t>(length));
    push_or_exit(batch_, support);
    for (std::size_t i = 0; i < length; ++i) push_or_exit(batch_, path_ids_[i]);
    if (batch_.size() >= pool_->batch_limit()) pool_->publish(*this);
}

// Adds this state's closed sequences since the last call to the shared count.
void search_state::publish_progress() {
    if (progress_ != nullptr)
        progress_->closed_found.fetch_add(closed_found_, std::memory_order_relaxed);
    closed_found_ = 0;
}

// Makes the task's nodes the level to explore, below its parent's embedding chain. Embeddings
// go into the arenas this state has already grown, whose pages are in place, unless an arena is
// too small: then the task's storage replaces it. The task's scan cells are shared with the state
// that split it off.
void search_state::install(search_task& work) {
    auto take = [](run_vector<embedding>& arena, run_vector<embedding>& given) {
        if (arena.size() >= given.size())
            std::copy(given.begin(), given.end(), arena.begin());
        else
            arena = std::move(given);
        run_vector<embedding>().swap(given);
    };
    if (levels_.empty()) build_root_level();
    ensure_depth(work.level);
    for (std::size_t i = 1; i <= work.level; ++i) level_at(i);
    for (std::size_t i = 1; i < work.level; ++i) {
        search_level& level = levels_[i];
        const auto support = static_cast<std::int32_t>(work.chain[i - 1].size());
        take(level.embeddings, work.chain[i - 1]);
        const std::int32_t item = work.path[i - 1];
        level.nodes.assign(1, pattern_node{item, support, 0});
        level.next = 1;
        path_[i - 1] = item;
        path_ids_[i - 1] = db_.item_ids[static_cast<std::size_t>(item)];
    }
    if (work.level >= 2) {
        search_level& parent = levels_[work.level - 1];
        parent.scan = std::move(work.scan);
        parent.scan_used = work.scan_used;
        parent.scan_shared = true;
    }
    search_level& level = levels_[work.level];
    take(level.embeddings, work.embeddings);
    level.nodes = std::move(work.nodes);
    level.next = 0;
}

// The serial search loop, from the task's level down, with the hand-over of work to idle
// workers. A nested run (this state stands in for a waiting one) never gives work away, so its
// chunk stays the first one until it is done and it never waits itself.
void search_state::run_task(parallel_search& pool, search_task& work, bool nested) {
    pool_ = &pool;
    chunk_ = work.output;
    top_ = work.top;
    install(work);
    const std::size_t base = work.level;
    std::size_t depth = base;
    while (depth >= base && !pool.stopping()) {
        search_level& level = levels_[depth];
        if (level.next == level.nodes.size()) {
            if (!switches_.empty() && switches_.back().first == depth) {
                pool.close_chunk(*this);
                chunk_ = switches_.back().second;
                switches_.pop_back();
            }
            --depth;
            continue;
        }
        const pattern_node node = level.nodes[level.next++];
        path_[depth - 1] = node.item;
        path_ids_[depth - 1] = db_.item_ids[static_cast<std::size_t>(node.item)];
        if (!nested && pool.hungry()) split(pool, base, depth);
        if (mine_pattern(depth, node)) ++depth;
    }
    switches_.clear();
    pool.close_chunk(*this);
    publish_progress();
    pool.finish_task(work);
}

// Gives the unexplored nodes of the shallowest level that has any to a new task, and arranges
// for this state's output to move past that task's when it leaves the level.
void search_state::split(parallel_search& pool, std::size_t base, std::size_t depth) {
    std::size_t level = base;
    while (level <= depth && levels_[level].next == levels_[level].nodes.size()) ++level;
    if (level > depth) return;

    // The node being explored at each level above `level` is the chain's prefix; parents are
    // made relative to that node's first embedding one level up.
    auto path_node = [this](std::size_t i) { return levels_[i].nodes[levels_[i].next - 1]; };
    auto rebased = [](const embedding* from, std::size_t count, std::int32_t parent_base) {
        run_vector<embedding> copy;
        reserve_or_exit(copy, count);
        for (std::size_t k = 0; k < count; ++k)
            copy.push_back({from[k].first, from[k].last, from[k].parent - parent_base, from[k].suffix});
        return copy;
    };
    auto work = std::make_unique<search_task>();
    work->level = level;
    work->top = top_;
    work->path.assign(path_.begin(), path_.begin() + static_cast<std::ptrdiff_t>(level - 1));
    for (std::size_t i = 1; i < level; ++i) {
        const pattern_node node = path_node(i);
        const std::int32_t parent_base = i >= 2 ? path_node(i - 1).begin : 0;
        work->chain.push_back(rebased(levels_[i].embeddings.data() + node.begin,
                                      static_cast<std::size_t>(node.support), parent_base));
    }
    search_level& given = levels_[level];
    const std::int32_t first = given.nodes[given.next].begin;
    const std::int32_t end = given.nodes.back().begin + given.nodes.back().support;
    for (std::size_t k = given.next; k < given.nodes.size(); ++k) {
        pattern_node node = given.nodes[k];
        node.begin -= first;
        push_or_exit(work->nodes, node);
    }
    work->embeddings = rebased(given.embeddings.data() + first,
                               static_cast<std::size_t>(end - first),
                               level >= 2 ? path_node(level - 1).begin : 0);
    if (level >= 2) {
        search_level& parent = levels_[level - 1];
        work->scan = parent.scan;
        work->scan_used = parent.scan_used;
        parent.scan_shared = true;
    }
    // Dropped rather than skipped: nodes[next - 1] must stay the node being explored.
    given.nodes.resize(given.next);
    switches_.emplace_back(level, pool.queue_split(std::move(work), chunk_));
}

std::unique_ptr<search_task> parallel_search::next_task() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop_) return nullptr;
        if (!queue_.empty()) {
            std::unique_ptr<search_task> work = std::move(queue_.front());
            queue_.pop_front();
            work->output->queued = nullptr;
            ++running_;
            update_hunger();
            return work;
        }
        if (next_top_ < tops_.size()) {
            auto work = std::make_unique<search_task>();
            work->top = next_top_++;
            pattern_node node = tops_[work->top];
            const embedding* from = top_embeddings_.data() + node.begin;
            work->embeddings.assign(from, from + node.support);
            node.begin = 0;
            push_or_exit(work->nodes, node);
            outstanding_[work->top] = 1;
            work->output = chunks_.emplace(chunks_.end());
            ++running_;
            return work;
        }
        if (running_ == 0) return nullptr;
        ++idle_;
        update_hunger();
        work_changed_.wait(lock);
        --idle_;
        update_hunger();
    }
}

chunk_list::iterator parallel_search::queue_split(std::unique_ptr<search_task> work,
                                                  chunk_list::iterator after) {
    const std::lock_guard lock(mutex_);
    const auto given = chunks_.emplace(std::next(after));
    const auto rest = chunks_.emplace(std::next(given));
    given->queued = work.get();
    work->output = given;
    ++outstanding_[work->top];
    queue_.push_back(std::move(work));
    update_hunger();
    work_changed_.notify_one();
    return rest;
}

void parallel_search::deliver(const run_vector<std::int32_t>& records) {
    for (std::size_t k = 0; k < records.size() && !stop_;) {
        const auto length = static_cast<std::size_t>(records[k]);
        const std::int32_t support = records[k + 1];
        if (!sink_->write_closed({records.data() + k + 2, length}, support)) stop_ = true;
        k += length + 2;
    }
}

// Hands the writer's records to the sink when its chunk comes first, else to its chunk.
void parallel_search::publish(search_state& writer) {
    std::unique_lock lock(mutex_);
    const std::size_t bytes = writer.batch_.size() * sizeof(std::int32_t);
    while (writer.chunk_ != chunks_.begin() && buffered_ + bytes > output_limit_ && !stop_) {
        search_task* first = chunks_.begin()->queued;
        if (first == nullptr) {
            output_moved_.wait(lock);
            continue;
        }
        // The first chunk's task has not started: run it here, on a state of its own.
        const auto place = std::find_if(queue_.begin(), queue_.end(),
                                        [first](const auto& work) { return work.get() == first; });
        std::unique_ptr<search_task> work = std::move(*place);
        queue_.erase(place);
        first->output->queued = nullptr;
        ++running_;
        update_hunger();
        lock.unlock();
        if (!writer.helper_) writer.helper_ = make_state();
        writer.helper_->run_task(*this, *work, true);
        lock.lock();
    }
    if (writer.chunk_ == chunks_.begin()) {
        deliver(writer.batch_);
    } else {
        run_vector<std::int32_t>& records = writer.chunk_->records;
        reserve_or_exit(records, records.size() + writer.batch_.size());
        records.insert(records.end(), writer.batch_.begin(), writer.batch_.end());
        buffered_ += bytes;
    }
    writer.batch_.clear();
}

// Publishes the writer's last records and marks its chunk done; the chunks that now come first
// are delivered as far as they go.
void parallel_search::close_chunk(search_state& writer) {
    if (!writer.batch_.empty()) publish(writer);
    const std::lock_guard lock(mutex_);
    writer.chunk_->done = true;
    while (!chunks_.empty() && chunks_.begin()->done) {
        deliver(chunks_.begin()->records);
        buffered_ -= chunks_.begin()->records.size() * sizeof(std::int32_t);
        chunks_.pop_front();
    }
    if (!chunks_.empty()) {
        run_vector<std::int32_t>& waiting = chunks_.begin()->records;
        deliver(waiting);
        buffered_ -= waiting.size() * sizeof(std::int32_t);
        waiting.clear();
        waiting.shrink_to_fit();
    }
    output_moved_.notify_all();
}

void parallel_search::finish_task(const search_task& work) {
    const std::lock_guard lock(mutex_);
    --running_;
    if (--outstanding_[work.top] == 0 && progress_ != nullptr)
        progress_->items_done.fetch_add(1, std::memory_order_relaxed);
    if (running_ == 0) work_changed_.notify_all();
}

void parallel_search::work(search_state& state) {
    try {
        while (std::unique_ptr<search_task> task = next_task()) state.run_task(*this, *task, false);
    } catch (...) {
        const std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        stop_ = true;
        work_changed_.notify_all();
        output_moved_.notify_all();
    }
}

mining_result parallel_search::run() {
    // The one-item patterns, built as in the serial search, become the first tasks.
    std::unique_ptr<search_state> first = make_state();
    first->build_root_level();
    const pattern_node root = first->levels_[0].nodes[0];
    if (first->mine_pattern(0, root)) {
        tops_ = std::move(first->levels_[1].nodes);
        top_embeddings_ = std::move(first->levels_[1].embeddings);
    }
    const auto items = static_cast<std::int32_t>(db_.item_ids.size());
    if (progress_ != nullptr) {
        progress_->items_total.store(items, std::memory_order_relaxed);
        progress_->items_done.store(items - static_cast<std::int32_t>(tops_.size()),
                                    std::memory_order_relaxed);
    }
    resize_or_exit(outstanding_, tops_.size(), std::int32_t{0});

    std::vector<std::unique_ptr<search_state>> states;
    states.push_back(std::move(first));
    for (int t = 1; t < threads_; ++t) states.push_back(make_state());
    {
        std::vector<std::jthread> workers;
        for (std::size_t t = 1; t < states.size(); ++t)
            workers.emplace_back([this, &states, t] { work(*states[t]); });
        work(*states[0]);
    }
    if (failure_) std::rethrow_exception(failure_);

    // Histograms merged: slot k sums the closed sequences of k items found by every state.
    mining_result result;
    for (const auto& state : states) {
        for (const search_state* part : {state.get(), state->helper_.get()}) {
            if (part == nullptr) continue;
            const run_vector<std::int64_t>& counts = part->length_histogram_;
            if (counts.size() > result.length_histogram.size())
                resize_or_exit(result.length_histogram, counts.size(), std::int64_t{0});
            for (std::size_t k = 0; k < counts.size(); ++k) result.length_histogram[k] += counts[k];
        }
    }
    result.stopped = stop_;
    return result;
}

}  // namespace

mining_result mine_closed(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                          search_progress* progress, const thread_options& options) {
    abs_support = abs_support < 1 ? 1 : abs_support;
    if (options.threads <= 1) {
        search_state state(db, abs_support, sink, progress);
        return state.run();
    }
    parallel_search search(db, abs_support, sink, progress, options);
    return search.run();
}

}  // namespace korv
