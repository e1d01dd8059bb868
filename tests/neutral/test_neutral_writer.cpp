#include "neutral/unibuf_registration.h"
#include "neutral/neutral_schema.h"
#include "neutral/neutral_writer.h"
#include "neutral_messages.h"
#include "neutral_test_util.h"

#include "btk_quoted.h"
#include "file_targets.h"

#include "unibuf.h"
#include "xhandle.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace ntest;

namespace {

std::string temp_path(const char* name) {
    return testing::TempDir() + "neutral_" + std::to_string(::getpid()) + "_" + name;
}

std::u16string wide(const std::string& s) { return btkStrUtf8ToUtf16(s); }

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Writes the part to a fresh file and returns the text (empty on failure).
std::string write_text(neut_part* part, const char* name, int* result = nullptr) {
    std::string path = temp_path(name);
    std::remove(path.c_str());
    int r = stream_neutral_to_pfa(wide(path).c_str(), part);
    if (result)
        *result = r;
    std::string text = read_file(path);
    std::remove(path.c_str());
    return text;
}

const char* const kSmallPartText = R"(NEUTRAL format 1404 product 32 version 500 date 2024
Neutral_part {
  revnum 3
  rel_accuracy -1
  accuracy 0.001
  outline 0 0 0 1 1 0.5
  accuracy_is_relative 1
  neut_format NULL
  mass_props NULL
  time_stamp NULL
  colors NULL
  dimensions NULL
  features NULL
  quilts NULL
  surfaces [1] {
    [0] {
      id 7
      uv_min 0 0
      uv_max 1 1
      xyz_min 0 0 0
      xyz_max 1 1 0
      orient -1
      loops [1] {
        [0] {
          edge_ids [4] 1 2 3 4
        }
      }
      surface_type 34
      surface plane {
        e1 1 0 0
        e2 0 1 0
        e3 0 0 1
        origin 0 0 0
      }
    }
  }
  edges [1] {
    [0] {
      id 1
      surface_ids 7 8
      direction 1 -1
      uv_points NULL
      curve_type 2
      curve line {
        type 2
        end1 0 0 0
        end2 1 0 0
      }
      uv_curves[0] {
        id 0
        curve_type 1
        curve point {
          type 1
          xyz 0.25 0.5 0
        }
        flip 1
      }
      uv_curves[1] NULL
    }
  }
  geometric_tolerance NULL
  datum_curves NULL
  datum_planes NULL
  coord_systems NULL
  units NULL
  attributes [1] {
    [0] {
      name "Matérial"
      value {
        type 52
        value i_val 42
      }
      ref_id 7
      ref_type 1
      ref_name NULL
    }
  }
  layers NULL
  views NULL
  xsecs NULL
  item_names NULL
  faceted_reps NULL
  geometric_tolerances NULL
  annotation_features NULL
  set_datum_tags NULL
  annot_planes NULL
  notes NULL
  #
  model_class {
    type 5
  }
  angular_dim_tolerance -1
  linear_dim_tolerance -1
}
END
)";

} // namespace

TEST(NeutralWriter, SmallPartGivesTheExactText) {
    file_set_default_prod_id(32, 500, 2024);
    neut_part* part = small_part();
    int result = 0;
    EXPECT_EQ(kSmallPartText, write_text(part, "small.neu", &result));
    EXPECT_EQ(1, result);
    // The line's type was set from the edge's curve_type and stays so.
    auto* e = static_cast<neut_edge*>(har_access(part->edges, 0, nullptr, nullptr));
    EXPECT_EQ(NEUT_CURVE_LINE, e->curve->type);
    EXPECT_EQ(0, release_neutral_part(part));
    file_set_default_prod_id(0, 0, 0);
}

TEST(NeutralWriter, EmptyPartWritesEveryDefault) {
    auto* part = make<neut_part>();
    int result = 0;
    std::string text = write_text(part, "empty.neu", &result);
    EXPECT_EQ(1, result);
    EXPECT_NE(std::string::npos, text.find("\n  surfaces NULL\n  edges NULL\n"));
    EXPECT_NE(std::string::npos, text.find("\n  rel_accuracy -1\n"));
    EXPECT_NE(std::string::npos, text.find("\n  model_class NULL\n  angular_dim_tolerance 0\n"));
    EXPECT_EQ(0u, text.rfind("NEUTRAL format 1404", 0));
    EXPECT_EQ(text.size() - 6, text.rfind("}\nEND\n"));
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, CompressionIsOffForTheWriteAndRestoredAfterIt) {
    auto* part = make<neut_part>();
    set_compress_output_files(1);
    std::string text = write_text(part, "compress.neu");
    EXPECT_EQ(1, get_compress_output_files());
    EXPECT_NE(std::string::npos, text.find("\n  revnum 0\n")); // written uncompressed

    // Also after an output that cannot be opened.
    std::string bad = temp_path("no_such_dir") + "/part.neu";
    EXPECT_EQ(0, stream_neutral_to_pfa(wide(bad).c_str(), part));
    EXPECT_EQ(1, get_compress_output_files());
    set_compress_output_files(0);

    // The engine itself writes without indentation while the switch is on.
    set_compress_output_files(1);
    std::string path = temp_path("compact.neu");
    ugc_output* out = ugc_open_output_flags(wide(path).c_str(), 7, 1404, 0, 0, 0, 0, 0, 0);
    set_compress_output_files(0);
    ASSERT_NE(nullptr, out);
    ugc_writestruct(out, 0, neutral_part_dd(), part, 0);
    EXPECT_EQ(0, ugc_close_output(out));
    EXPECT_NE(std::string::npos, read_file(path).find("\nrevnum 0\nrel_accuracy -1\n"));
    std::remove(path.c_str());
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, FailuresReturnZeroAndLeaveNoFile) {
    auto* part = make<neut_part>();
    EXPECT_EQ(0, stream_neutral_to_pfa(nullptr, part));
    EXPECT_EQ(0, stream_neutral_to_pfa(u"", part));
    EXPECT_EQ(0, stream_neutral_to_pfa(u"x.neu", nullptr));

    // A close that fails (the file cannot grow past 64 bytes): the file
    // written so far is deleted.
    std::string path = temp_path("short.neu");
    rlimit old{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    int result = stream_neutral_to_pfa(wide(path).c_str(), part);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(0, result);
    EXPECT_FALSE(exists(path));

    // An array whose element size does not fit the table is not written
    // blindly: the write fails and leaves nothing.
    part->units = reinterpret_cast<neut_unit*>(values<int32_t>({1, 2}));
    EXPECT_EQ("", write_text(part, "mismatch.neu", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, WritesIntoRegisteredStreamsAndNamedBuffers) {
    neut_part* part = small_part();
    std::string expected = write_text(part, "reference.neu");

    xrchandle<MemoryStream> stream(new MemoryStream);
    {
        btkWString location;
        UnibufRegistration reg(stream.get(), u"kernel.neu.1", &location);
        ASSERT_TRUE(reg.IsRegistered());
        EXPECT_FALSE(UnibufRegistration(stream.get(), u"kernel.neu.1", nullptr).IsRegistered());
        EXPECT_EQ(1, stream_neutral_to_pfa(location, part));
    }
    EXPECT_EQ(expected, stream->data);

    xrchandle<MemoryStream> failing(new MemoryStream(true));
    {
        btkWString location;
        UnibufRegistration reg(failing.get(), u"kernel.neu.1", &location);
        EXPECT_EQ(0, stream_neutral_to_pfa(location, part));
    }

    std::string file = temp_path("buffer.neu");
    ASSERT_TRUE(RegisterUnibuf(file.c_str(), u"kernel.neu.test", nullptr));
    EXPECT_EQ(1, stream_neutral_to_pfa(u"kernel.neu.test", part));
    UnregisterUnibuf(u"kernel.neu.test");
    EXPECT_EQ(expected, read_file(file));
    std::remove(file.c_str());
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, RichPartWritesTheSameTwiceAndStaysWhole) {
    neut_part* part = rich_part();
    neut_faceted_rep* rep = part->faceted_reps[0];
    auto facet = [&](int i) { return *static_cast<neut_facet**>(har_access(rep->facets, i, nullptr, nullptr)); };
    auto vertex = [&](int i) {
        return *static_cast<neut_facet_vertex**>(har_access(rep->facet_vertices, i, nullptr, nullptr));
    };

    int r1 = 0, r2 = 0;
    std::string first = write_text(part, "rich1.neu", &r1);
    std::string second = write_text(part, "rich2.neu", &r2);
    EXPECT_EQ(1, r1);
    EXPECT_EQ(1, r2);
    EXPECT_EQ(first, second);

    // Facet links are written as numbers and are pointers again afterwards.
    EXPECT_NE(std::string::npos, first.find("xyz 0 0 0\n          neighbour -1\n"));
    EXPECT_NE(std::string::npos, first.find("xyz 1 2 0\n          neighbour 1\n"));
    EXPECT_NE(std::string::npos,
              first.find("vertices[0] 0\n          vertices[1] 1\n          vertices[2] 2\n"
                         "          vertex_data[0] 0\n          vertex_data[1] -1\n"));
    EXPECT_EQ(nullptr, vertex(0)->neighbour.ptr);
    EXPECT_EQ(facet(1), vertex(1)->neighbour.ptr);
    EXPECT_EQ(vertex(2), facet(0)->vertices[2].ptr);
    EXPECT_EQ(nullptr, facet(0)->vertex_data[1].ptr);
    EXPECT_EQ(facet(1), facet(0)->neighbour[2].ptr);

    // Curve types were set from their holders.
    auto* comp = static_cast<neut_composite_curve*>(part->datum_curves[1]->curve);
    EXPECT_EQ(NEUT_CURVE_LINE, comp->components[0].curve->type);
    for (int i = 0, n = har_total(part->surfaces); i < n; ++i) {
        auto* s = static_cast<neut_surface*>(har_access(part->surfaces, i, nullptr, nullptr));
        if (s->surface_type == NEUT_SURF_RUL_SRF) {
            EXPECT_EQ(NEUT_CURVE_ELLIPSE, static_cast<neut_rul_srf*>(s->surface)->C2->type);
        }
        if (s->surface_type == NEUT_SURF_TAB_CYL) {
            EXPECT_EQ(NEUT_CURVE_ARC, static_cast<neut_tab_cyl*>(s->surface)->C->type);
        }
    }

    // Comments, the hidden words and the union members on the way.
    EXPECT_NE(std::string::npos, first.find("  #solid\n  model_class {\n"));
    EXPECT_NE(std::string::npos, first.find("    #PROTRUSION\n    [0] {\n      id 3\n"));
    EXPECT_NE(std::string::npos, first.find("    #gtol four\n    [0] {\n"));
    EXPECT_NE(std::string::npos, first.find("      #placed\n      placement {\n"));
    EXPECT_NE(std::string::npos, first.find("        leaders [1] {\n          #\n          [0] {\n            type 0\n"));
    EXPECT_NE(std::string::npos, first.find("#red\n"));
    EXPECT_NE(std::string::npos, first.find("value color_map {\n"));
    EXPECT_NE(std::string::npos, first.find("object collection {\n"));
    {
        // The comment of a union field's member comes right before it.
        size_t at = first.find("#by reference\n");
        ASSERT_NE(std::string::npos, at);
        size_t next = first.find_first_not_of(' ', at + 14);
        EXPECT_EQ(0u, first.compare(next, 19, "object reference {\n")) << first.substr(at, 80);
    }
    EXPECT_NE(std::string::npos, first.find("value s_val \"hello\"\n"));
    EXPECT_NE(std::string::npos, first.find("        color_ind 0\n        color_inds 0 0\n        surf_pl [2] {\n"));
    EXPECT_NE(std::string::npos, first.find("text [1] \"@D\"\n"));
    EXPECT_NE(std::string::npos, first.find("      surface_type 49\n      surface NULL\n"));
    EXPECT_NE(std::string::npos, first.find("  time_stamp {\n    tm_sec 0\n"));
    EXPECT_NE(std::string::npos, first.find("  quilts [3] {\n"));
    EXPECT_NE(std::string::npos, first.find("    [2] NULL\n"));
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, PlacementCommentIsWrittenEvenWithoutThePlacement) {
    auto* part = make<neut_part>();
    auto* g = make<neut_gtol>();
    push(part->geometric_tolerances, g);
    std::string text = write_text(part, "gtol.neu");
    // The tolerance's own comment (null text) and the absent placement's.
    EXPECT_NE(std::string::npos, text.find("    #\n    [0] {\n      id 0\n"));
    EXPECT_NE(std::string::npos, text.find("      matl_cond NULL\n      #\n      placement NULL\n"));
    EXPECT_NE(std::string::npos, text.find("      composite NULL\n"));
    EXPECT_EQ(std::string::npos, text.find("#\n      composite NULL\n"));
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, InvalidSymbolTypeIsWrittenAsNoValue) {
    auto* part = make<neut_part>();
    auto* attr = make<neut_attribute>();
    attr->value.type = 55;
    push(part->attributes, attr);
    testing::internal::CaptureStderr();
    std::string text = write_text(part, "symbol.neu");
    EXPECT_EQ("-symbol_value_fcn- Invalid union member type = 55\n",
              testing::internal::GetCapturedStderr());
    EXPECT_NE(std::string::npos, text.find("        type 55\n        value NO_val NULL\n"));
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriter, AssemblyMembersArePrecededByTheirKind) {
    auto* assem = make<neut_assem>();
    auto* part_member = make<neut_member>();
    part_member->type = 2;
    auto* sub = make<neut_member>();
    sub->type = 1;
    push(assem->members, part_member);
    push(assem->members, sub);
    std::string path = temp_path("assem.neu");
    ugc_output* out = ugc_open_output_flags(wide(path).c_str(), 7, 1404, 0, 0, 0, 0, 0, 0);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(0, ugc_writestruct(out, 0, neutral_assem_dd(), assem, 0));
    EXPECT_EQ(0, ugc_close_output(out));
    std::string text = read_file(path);
    std::remove(path.c_str());
    EXPECT_NE(std::string::npos, text.find("  assem_top NULL\n  members [2] {\n    # PART\n    [0] {\n"));
    EXPECT_NE(std::string::npos, text.find("    # ASSEMBLY\n    [1] {\n      id 0\n      type 1\n"));
    rlsmem(part_member);
    rlsmem(sub);
    xar_free(assem->members);
    rlsmem(assem);
}

TEST(NeutralRelease, FreesEveryRecordOnce) {
    EXPECT_EQ(-2, release_neutral_part(nullptr));
    // A surface shared by two quilts is freed once; a large B-spline
    // surface's har arrays, the hidden comment texts and every annotation
    // record go too.
    EXPECT_EQ(0, release_neutral_part(rich_part()));
    // An item twice in one pointer array, large (har) arrays included.
    auto* part = make<neut_part>();
    auto* attr = make<neut_attribute>();
    attr->name = wdup(u"twice");
    push(part->attributes, attr);
    push(part->attributes, attr);
    auto* rep = make<neut_faceted_rep>();
    auto* v = make<neut_facet_vertex>();
    har_push(rep->facet_vertices, NEUT_FACET_CHUNK, v);
    har_push(rep->facet_vertices, NEUT_FACET_CHUNK, v);
    push(part->faceted_reps, rep);
    EXPECT_EQ(0, release_neutral_part(part));
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check());
#endif
}

// ---- writes that never destroy, and writes at once ---------------------------------

namespace {

// A caller's stream whose Write throws once `after` bytes were taken.
class ThrowingStream : public KCStream {
public:
    explicit ThrowingStream(size_t after, bool* destroyed) : after_(after), destroyed_(destroyed) {}
    ~ThrowingStream() override { *destroyed_ = true; }
    int Read(void*, int) override { return -1; }
    int Write(const void*, int count) override {
        if (taken_ + size_t(count) > after_)
            throw std::runtime_error("the caller's stream gave up:\r\n\"x\"");
        taken_ += size_t(count);
        return count;
    }
    int64_t GetPos() override { return int64_t(taken_); }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }

private:
    size_t after_;
    size_t taken_ = 0;
    bool* destroyed_;
};

// A faceted representation large enough that its text passes the engine's
// flush size while it is being written.
neut_faceted_rep* large_facet_rep(int extra_vertices) {
    neut_faceted_rep* rep = facet_rep();
    neut_facet* f1 = *static_cast<neut_facet**>(har_access(rep->facets, 1, nullptr, nullptr));
    for (int i = 0; i < extra_vertices; ++i) {
        auto* v = make<neut_facet_vertex>();
        set3(v->xyz, i, -i, 0.125 * i);
        v->neighbour.ptr = f1;
        har_push(rep->facet_vertices, NEUT_FACET_CHUNK, v);
    }
    return rep;
}

} // namespace

TEST(NeutralWriterTargets, AFailedRewriteLeavesTheOldFile) {
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("part.neu");
    neut_part* part = small_part();
    ASSERT_EQ(1, stream_neutral_to_pfa(wide(path).c_str(), part));
    const std::string old = read_file(path);
    ASSERT_NE("", old);

    // The file cannot grow: the new content never replaces the old.
    const int code = filetargets::RunWithFileSizeLimit(
        64, [&] { return stream_neutral_to_pfa(wide(path).c_str(), part); });
    EXPECT_EQ(0, code) << "the write should have failed";
    EXPECT_EQ(old, read_file(path));

    // A part that does not fit the table fails its close: the same.
    auto* bad = make<neut_part>();
    bad->units = reinterpret_cast<neut_unit*>(values<int32_t>({1, 2}));
    EXPECT_EQ(0, stream_neutral_to_pfa(wide(path).c_str(), bad));
    EXPECT_EQ(old, read_file(path));
    EXPECT_EQ(std::vector<std::string>{"part.neu"}, dir.Names());

    // The same through a named buffer.
    ASSERT_TRUE(RegisterUnibuf(path.c_str(), u"kernel.neu.safe", nullptr));
    EXPECT_EQ(0, stream_neutral_to_pfa(u"kernel.neu.safe", bad));
    UnregisterUnibuf(u"kernel.neu.safe");
    EXPECT_EQ(old, read_file(path));
    EXPECT_EQ(0, release_neutral_part(bad));
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriterTargets, PathsThatAreNotRegularFilesAreRefusedAndKept) {
    filetargets::ScratchDir dir;
    auto* part = make<neut_part>();
    const std::string fifo = dir.Path("pipe.neu");
    ASSERT_TRUE(filetargets::MakeFifo(fifo));
    // Refused at once: no writer waits for a reader of the fifo.
    EXPECT_EQ(0, stream_neutral_to_pfa(wide(fifo).c_str(), part));
    EXPECT_TRUE(filetargets::IsFifo(fifo));
    ASSERT_TRUE(RegisterUnibuf(fifo.c_str(), u"kernel.neu.fifo", nullptr));
    EXPECT_EQ(0, stream_neutral_to_pfa(u"kernel.neu.fifo", part));
    UnregisterUnibuf(u"kernel.neu.fifo");
    EXPECT_TRUE(filetargets::IsFifo(fifo));
    EXPECT_EQ(0, stream_neutral_to_pfa(wide(dir.Path("")).c_str(), part));

    const std::string device = dir.Path("null.neu");
    if (filetargets::MakeNullDevice(device)) {
        EXPECT_EQ(0, stream_neutral_to_pfa(wide(device).c_str(), part));
        EXPECT_TRUE(filetargets::IsCharDevice(device));
    }
    // Nothing was left beside them.
    for (const std::string& name : dir.Names())
        EXPECT_TRUE(name == "pipe.neu" || name == "null.neu") << name;
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralWriterTargets, AStreamThatThrowsFailsTheWriteAndLeavesNothingBehind) {
    neut_part* part = small_part();
    push(part->faceted_reps, large_facet_rep(3000));
    neut_faceted_rep* rep = part->faceted_reps[0];
    auto vertex = [&](int i) {
        return *static_cast<neut_facet_vertex**>(har_access(rep->facet_vertices, i, nullptr, nullptr));
    };
    neut_facet* f1 = *static_cast<neut_facet**>(har_access(rep->facets, 1, nullptr, nullptr));
    for (size_t after : {size_t(0), size_t(70000)}) {
        bool destroyed = false;
        {
            xrchandle<ThrowingStream> stream(new ThrowingStream(after, &destroyed));
            btkWString location;
            UnibufRegistration reg(stream.get(), u"kernel.neu.throws", &location);
            ASSERT_TRUE(reg.IsRegistered());
            EXPECT_EQ(0, stream_neutral_to_pfa(location, part)) << after;
        }
        EXPECT_TRUE(destroyed) << "the writer kept a reference on the stream";
        // The facet links are pointers again.
        EXPECT_EQ(f1, vertex(1)->neighbour.ptr);
        EXPECT_EQ(f1, vertex(3000)->neighbour.ptr);
        EXPECT_EQ(nullptr, vertex(0)->neighbour.ptr);
    }
    EXPECT_EQ(0, release_neutral_part(part));
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check());
#endif
}

TEST(NeutralWriterThreads, SeveralWritesAtOnceEachGiveTheirOwnWholeFile) {
    filetargets::ScratchDir dir;
    constexpr int kThreads = 6;
    constexpr int kRounds = 4;
    std::vector<neut_part*> parts;
    std::vector<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        parts.push_back(rich_part());
        push(parts.back()->faceted_reps, large_facet_rep(200 * t));
        const std::string path = dir.Path("ref" + std::to_string(t) + ".neu");
        ASSERT_EQ(1, stream_neutral_to_pfa(wide(path).c_str(), parts.back()));
        expected.push_back(read_file(path));
    }
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    // The process-wide compression switch changes under the writers; a
    // neutral file is written uncompressed all the same.
    std::thread toggler([&] {
        for (int i = 0; !stop.load(); ++i) {
            set_compress_output_files(i & 1);
            std::this_thread::yield();
        }
        set_compress_output_files(0);
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                const bool to_file = (t + r) % 2 == 0;
                std::string text;
                if (to_file) {
                    const std::string path = dir.Path("out" + std::to_string(t) + ".neu");
                    if (stream_neutral_to_pfa(wide(path).c_str(), parts[size_t(t)]) != 1)
                        ++failures;
                    text = read_file(path);
                } else {
                    const std::u16string name = u"kernel.neu.thread" + wide(std::to_string(t));
                    xrchandle<MemoryStream> stream(new MemoryStream);
                    btkWString location;
                    UnibufRegistration reg(stream.get(), name.c_str(), &location);
                    if (!reg.IsRegistered() || stream_neutral_to_pfa(location, parts[size_t(t)]) != 1)
                        ++failures;
                    text = stream->data;
                }
                if (text != expected[size_t(t)])
                    ++failures;
            }
        });
    }
    for (auto& w : writers)
        w.join();
    stop = true;
    toggler.join();
    EXPECT_EQ(0, failures.load());
    for (neut_part* part : parts) {
        neut_faceted_rep* rep = part->faceted_reps[0];
        auto* f1 = *static_cast<neut_facet**>(har_access(rep->facets, 1, nullptr, nullptr));
        auto* v1 = *static_cast<neut_facet_vertex**>(har_access(rep->facet_vertices, 1, nullptr, nullptr));
        EXPECT_EQ(f1, v1->neighbour.ptr);
        EXPECT_EQ(0, release_neutral_part(part));
    }
}

namespace {

// The one diagnostic of stream_neutral_to_pfa that a write gave (empty when
// it gave none or more than one), and its result.
std::string why_it_failed(const std::u16string& location, neut_part* part, int* result) {
    NeutralMessages messages;
    *result = stream_neutral_to_pfa(location.c_str(), part);
    if (messages.lines.size() != 1)
        return std::string();
    const std::string prefix = "stream_neutral_to_pfa: ";
    const std::string& line = messages.lines[0];
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(NeutralWriterTargets, AWriteThatGivesZeroSaysWhyThroughTheDiagnostics) {
    filetargets::ScratchDir dir;
    neut_part* part = small_part();
    const std::string fifo = dir.Path("pipe.neu");
    ASSERT_TRUE(filetargets::MakeFifo(fifo));
    const std::string missing = dir.Path("no/such/folder/part.neu");
    struct Case {
        std::u16string location;
        std::string reason;
    } cases[] = {
        {wide(missing), "cannot create " + btkQuoted(missing) + ": No such file or directory"},
        {wide(fifo), btkQuoted(fifo) + " is not a regular file (a FIFO)"},
        {wide(dir.Path("")), "(a directory)"},
    };
    int result = -1;
    for (const Case& c : cases) {
        const std::string why = why_it_failed(c.location, part, &result);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(contains(why, c.reason)) << why;
    }
    EXPECT_EQ(why_it_failed(u"x.neu", nullptr, &result), "no neutral part");

    // A caller's stream that refuses, or throws: what it did (its words
    // escaped where they stand, as its own).
    xrchandle<MemoryStream> refusing(new MemoryStream(true));
    {
        btkWString location;
        UnibufRegistration reg(refusing.get(), u"kernel.neu.why", &location);
        ASSERT_TRUE(reg.IsRegistered());
        EXPECT_TRUE(contains(why_it_failed(location.c_str(), part, &result),
                             "the stream's Write took -1 of "));
    }
    bool destroyed = false;
    {
        xrchandle<ThrowingStream> throwing(new ThrowingStream(0, &destroyed));
        btkWString location;
        UnibufRegistration reg(throwing.get(), u"kernel.neu.why", &location);
        ASSERT_TRUE(reg.IsRegistered());
        EXPECT_EQ(why_it_failed(location.c_str(), part, &result),
                  "the stream's Write threw: the caller's stream gave up:\\x0D\\x0A\\\"x\\\"");
    }
    // A part that does not fit the schema table: the field.
    auto* bad = make<neut_part>();
    bad->units = reinterpret_cast<neut_unit*>(values<int32_t>({1, 2}));
    EXPECT_EQ(why_it_failed(wide(dir.Path("bad.neu")), bad, &result),
              "\"units\" does not fit its descriptor in the schema table");
    EXPECT_EQ(0, release_neutral_part(bad));

    // A full disk and a folder that is not writable (for a process that is
    // not root): the folder and the system's text.
    const std::string full = dir.Path("full");
    ASSERT_EQ(::mkdir(full.c_str(), 0755), 0);
    const int fullDisk = filetargets::RunOnFullDisk(full, [&] {
        int r = -1;
        const std::string why = why_it_failed(wide(full + "/part.neu"), part, &r);
        return r == 0 && contains(why, "No space left on device") ? 0 : 1;
    });
    if (fullDisk != filetargets::kChildSetupFailed) {
        EXPECT_EQ(fullDisk, 0);
    }
    filetargets::ScratchDir shared(filetargets::Reach::OtherUsers);
    if (!shared.Made()) {
        EXPECT_EQ(0, release_neutral_part(part));
        GTEST_SKIP() << filetargets::kNoFolderForOthers;
    }
    const std::string locked = shared.Path("locked");
    ASSERT_TRUE(filetargets::MakeFolder(locked, 0555));
    ASSERT_EQ(::chmod(shared.Path("").c_str(), 0755), 0);
    const int notRoot = filetargets::RunAsUser([&] {
        int r = -1;
        const std::string why = why_it_failed(wide(locked + "/part.neu"), part, &r);
        return r == 0 && contains(why,
                                  btkQuoted(locked + "/part.neu") + ": the folder is not writable")
                   ? 0
                   : 1;
    });
    if (notRoot != filetargets::kChildSetupFailed) {
        EXPECT_EQ(notRoot, 0);
    }
    EXPECT_EQ(0, release_neutral_part(part));
}
