// The uni-location adapter driven through the pfa file layer: registration,
// streams, folders, queries, path conversion and the bounds on names.
#include "btkstring.h"
#include "pfa.h"
#include "process.h"
#include "uniloc.h"
#include "xmemory.h"
#include "neutral/uni_adapter.h"
#include "neutral/unifs.h"
#include "file_targets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Open-box answers of the host, bound before any test runs (the adapter
// looks them up once per process). A context is an int mask of answers.
int answer(void* context, int bit) { return context && (*static_cast<int*>(context) & bit) ? 1 : 0; }
const bool g_bound = [] {
    qel_bind("OpenBoxIsForWriting", [](void* c) { return answer(c, 1); });
    qel_bind("OpenBoxIsForDirSelection", [](void* c) { return answer(c, 2); });
    qel_bind("OpenBoxIsForBackup", [](void* c) { return answer(c, 4); });
    qel_bind("OpenBoxIsSaveAs", [](void* c) { return answer(c, 8); });
    qel_bind("OpenBoxWantsDiskOnly", [](void* c) { return answer(c, 32); });
    return true;
}();

std::u16string U(const std::string& utf8) { return btkStrUtf8ToUtf16(utf8.c_str()); }

std::string S(const char16_t* wide) { return btkStrUtf16ToUtf8(wide); }

template <class Fn> Fn method(int slot, int wantForm) {
    int form = -1;
    pfa_method m = pfa_loc_method_get(UNIFS_PFA_KIND, slot, &form);
    EXPECT_NE(m, nullptr) << "slot " << slot;
    EXPECT_EQ(form, wantForm) << "slot " << slot;
    return reinterpret_cast<Fn>(m);
}

struct Record {
    pfa_file* f = pfa_alloc_qel_file();
    Record() = default;
    explicit Record(const std::string& path, int type = PFA_OBJ_UNKNOWN) { Parse(path, type); }
    ~Record() { pfa_free_qel_file(f); }
    int Parse(const std::string& path, int type = PFA_OBJ_UNKNOWN) {
        return pfa_parse_to_qel_file(f, U(path).c_str(), type);
    }
    std::string Full() const {
        char16_t buf[PFA_NAME_MAX];
        EXPECT_EQ(pfa_get_full_name(f, buf), 0);
        return S(buf);
    }
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class UniAdapterTest : public ::testing::Test {
protected:
    // Each run of the suite has its own folder and its own two locations,
    // unregistered again at its end, so a repeated run never finds the
    // locations of an earlier one (whose folder is gone).
    static void SetUpTestSuite() {
        unifs_initialize();
        root_ = new filetargets::ScratchDir();
        mkdir(root_->Path("root").c_str(), 0777);
        disk_ = new unilocallocation("utdisk", root_->Path("root").c_str());
        diskId_ = unilocation::Register(disk_);
        gmem_ = new unimemlocation("gmem");
        gmemId_ = unilocation::Register(gmem_);
    }
    static void TearDownTestSuite() {
        unilocation::Unregister(gmemId_);
        unilocation::Unregister(diskId_);
        delete gmem_;
        delete disk_;
        gmem_ = nullptr;
        disk_ = nullptr;
        delete root_;
        root_ = nullptr;
    }
    static std::string Disk(const std::string& inner) { return root_->Path("root") + inner; }

    static filetargets::ScratchDir* root_;
    static unilocallocation* disk_;
    static unimemlocation* gmem_;
    static int diskId_;
    static int gmemId_;
};
filetargets::ScratchDir* UniAdapterTest::root_ = nullptr;
unilocallocation* UniAdapterTest::disk_ = nullptr;
unimemlocation* UniAdapterTest::gmem_ = nullptr;
int UniAdapterTest::diskId_ = 0;
int UniAdapterTest::gmemId_ = 0;

TEST_F(UniAdapterTest, RegistersOnceWithItsTableAndNotification) {
    const int kernel = uni_register_kernel_location_calls();
    EXPECT_EQ(unifs_initialize(), 0);
    EXPECT_EQ(unifs_initialize(), 0);
    EXPECT_EQ(uni_register_kernel_location_calls(), kernel);
    EXPECT_TRUE(pfa_loc_is_registered(UNIFS_PFA_KIND));
    EXPECT_GE(unifs_appinfo_type(), 0);

    int form = -1;
    EXPECT_NE(pfa_loc_method_get(UNIFS_PFA_KIND, 10, &form), nullptr);
    EXPECT_EQ(form, 16);
    for (int absent : {0, 1, 2, 13, 37, 39, 50, 61, 64, 86, 89, 90, 95})
        EXPECT_EQ(pfa_loc_method_get(UNIFS_PFA_KIND, absent, nullptr), nullptr) << absent;

    // Registering again (as the client start-up does) keeps one handler.
    EXPECT_EQ(unifs_register_pfa_location(), 0);
    EXPECT_EQ(PfaNotify(3, 0, 1), 1);
    EXPECT_EQ(uni_get_dir_cache(), 1);
    EXPECT_EQ(PfaNotify(3, 0, 0), 1);
    EXPECT_EQ(uni_get_dir_cache(), 0);
}

TEST_F(UniAdapterTest, MappingsOfModesFlagsAndOpenBox) {
    const int modes[] = {1, 1, 2, 3, 4, 6, -1, -1};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(unifs_open_mode(i), modes[i]) << i;
    EXPECT_EQ(unifs_open_mode(8 | 3), 5);

    EXPECT_EQ(pfa_to_uni_retrmode(15), 1031);
    EXPECT_EQ(pfa_to_uni_retrmode(8), 0x400);
    EXPECT_EQ(pfa_to_uni_retrmode(16 | 2), 2); // unknown bit reported, not fatal

    EXPECT_EQ(unifs_dir_open_flags(4 | 32 | 2 | 1024), 57);
    EXPECT_EQ(unifs_dir_open_flags(4), 10);
    EXPECT_EQ(unifs_dir_open_flags(32 | 2), 17);
    EXPECT_EQ(unifs_dir_open_flags(1024), 34);
    EXPECT_EQ(unifs_access_mode(0xFF), 7);

    EXPECT_EQ(unifs_mode_text_access("a+", u'g', nullptr), 10);
    EXPECT_EQ(unifs_mode_text_access("a", u'G', nullptr), 9);
    EXPECT_EQ(unifs_mode_text_access("a", u'm', nullptr), 0);
    EXPECT_EQ(unifs_mode_text_access("w", u'g', nullptr), 1);
    EXPECT_EQ(unifs_mode_text_access("w", u'x', nullptr), 1);
    EXPECT_EQ(unifs_mode_text_access("w+", u'f', nullptr), 2);
    EXPECT_EQ(unifs_mode_text_access("rw", u'x', nullptr), 2);
    int mustExist = 0;
    EXPECT_EQ(unifs_mode_text_access("r+", u'F', &mustExist), 2);
    EXPECT_EQ(mustExist, 1);
    EXPECT_EQ(unifs_mode_text_access("r+", u'x', &mustExist), 0);
    EXPECT_EQ(mustExist, 0);

    int writing = 1, writingSaveAs = 1 | 8, diskOnly = 32 | 2;
    EXPECT_EQ(unifs_openbox_options(nullptr), 0);
    EXPECT_EQ(unifs_openbox_options(&writing), 17);
    EXPECT_EQ(unifs_openbox_options(&writingSaveAs), 9);
    EXPECT_EQ(unifs_openbox_options(&diskOnly), 34);
}

TEST_F(UniAdapterTest, RecordOfAUniPathHasItsLocationComponentsAndHandle) {
    Record r("utdisk:/d1//d2/f.txt.1");
    ASSERT_EQ(pfa_get_kind(r.f), UNIFS_PFA_KIND);
    EXPECT_EQ(r.Full(), "utdisk:/d1/d2/f.txt.1");
    int version = 0;
    EXPECT_EQ(pfa_get_file_vers(r.f, &version), 0);
    EXPECT_EQ(version, 1);
    ASSERT_NE(unifs_get_uni_handle(r.f, 0), nullptr);
    EXPECT_STREQ(uni_handle_path(unifs_get_uni_handle(r.f, 0)), "utdisk:/d1/d2");

    char16_t buf[PFA_NAME_MAX];
    auto getLocation = method<pfa_form20_fn>(4, 20);
    EXPECT_EQ(getLocation(r.f, buf, PFA_NAME_MAX, 0), 0);
    EXPECT_EQ(S(buf), "utdisk:/d1/d2/");
    EXPECT_EQ(getLocation(r.f, buf, PFA_NAME_MAX, 1), 0);
    EXPECT_EQ(S(buf), "utdisk:/d1/d2");
    EXPECT_EQ(getLocation(r.f, buf, 5, 0), 9); // does not fit: refused, not cut

    // A copy carries its own handle; the parent of the copy's location.
    Record parent;
    EXPECT_EQ(pfa_parent(r.f, parent.f), 0);
    EXPECT_EQ(r.Full(), "utdisk:/d1/d2/f.txt.1");
    EXPECT_EQ(parent.Full(), "utdisk:/d1/f.txt.1");
    Record top("utdisk:/", PFA_OBJ_FOLDER);
    Record none;
    EXPECT_EQ(pfa_parent(top.f, none.f), 14);

    // Set location refuses what is not a uni location.
    auto setLocation = method<pfa_form19_fn>(3, 19);
    int consumed = 0;
    Record plain;
    EXPECT_EQ(setLocation(plain.f, const_cast<char16_t*>(u"/tmp/"), &consumed, nullptr), 9);
    EXPECT_EQ(setLocation(plain.f, const_cast<char16_t*>(u"nosuchloc:/a/"), &consumed, nullptr), 9);
    EXPECT_EQ(setLocation(plain.f, nullptr, &consumed, nullptr), 9);
    EXPECT_EQ(setLocation(plain.f, const_cast<char16_t*>(u"gmem:/\u00e9t\u00e9/"), &consumed, nullptr),
              0);
    EXPECT_EQ(consumed, 10); // neutral units, not the 12 bytes taken natively
}

TEST_F(UniAdapterTest, WritesReadsAndClosesAFileOnDiskThroughThePfaLayer) {
    Record folder("utdisk:/data/", PFA_OBJ_FOLDER);
    EXPECT_EQ(pfa_make_dir(folder.f), 0);
    EXPECT_EQ(pfa_check_is_dir(folder.f), 12);

    pfa_stream* out = pfa_open_file("utdisk:/data/notes.txt", 769, 438);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(pfa_write_file(out, "hello\nworld\n", 12), 0);
    EXPECT_EQ(pfa_dispose(out), 0);
    EXPECT_EQ(slurp(Disk("/data/notes.txt")), "hello\nworld\n");

    pfa_stream* in = pfa_open_file("utdisk:/data/notes.txt", PFA_O_RDONLY, 0);
    ASSERT_NE(in, nullptr);
    char line[64];
    int64_t n = 0;
    EXPECT_EQ(pfa_fgets(in, line, sizeof line, &n), 0);
    EXPECT_STREQ(line, "hello\n");
    EXPECT_EQ(pfa_getc(in), 'w');
    char rest[64];
    EXPECT_EQ(pfa_read_file(in, rest, sizeof rest, &n), 0);
    EXPECT_EQ(std::string(rest, size_t(n)), "orld\n");
    EXPECT_EQ(pfa_read_file(in, rest, sizeof rest, &n), 5);
    EXPECT_EQ(pfa_getc(in), -1);
    int64_t at = -1;
    EXPECT_EQ(pfa_tell(in, &at), 0);
    EXPECT_EQ(at, 12);
    EXPECT_EQ(pfa_seek(in, 6), 0);
    EXPECT_EQ(pfa_getc(in), 'w');
    EXPECT_NE(pfa_seek(in, 13), 0);
    EXPECT_NE(pfa_write_file(in, "x", 1), 0); // opened for reading
    EXPECT_EQ(pfa_dispose(in), 0);

    // Missing files are not made by read or update opens without creation.
    EXPECT_EQ(pfa_open_file("utdisk:/data/missing.txt", PFA_O_RDONLY, 0), nullptr);
    EXPECT_EQ(pfa_open_file("utdisk:/data/missing.txt", PFA_O_RDWR, 0), nullptr);
    EXPECT_FALSE(disk_->IsFile("/data/missing.txt"));

    // Names that would leave the location's root are refused.
    EXPECT_EQ(pfa_open_file("utdisk:/../escape.txt", 769, 438), nullptr);
    EXPECT_EQ(pfa_open_file("utdisk:/data/../../escape.txt", 769, 438), nullptr);
    struct stat st {};
    EXPECT_NE(stat(root_->Path("escape.txt").c_str(), &st), 0);

    Record file("utdisk:/data/notes.txt");
    int64_t size = 0;
    EXPECT_EQ(pfa_file_size(file.f, &size), 0);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(pfa_access(file.f, 4), 1);
    vorn_tm t[3] = {};
    EXPECT_EQ(method<pfa_form19_fn>(36, 19)(file.f, &t[0], &t[1], &t[2]), 0);
    EXPECT_GE(t[1].year, 2020);
    EXPECT_EQ(pfa_delete_file(file.f), 0);
    EXPECT_EQ(pfa_access(file.f, 0), 0);
    EXPECT_EQ(pfa_delete_file(file.f), 1);
    EXPECT_EQ(pfa_remove_dir(folder.f), 0);
}

TEST_F(UniAdapterTest, AFileOpenedToBeReadAndWrittenAnewKeepsItsContentUntilTheClose) {
    constexpr int kReadWriteAnew = PFA_O_RDWR | PFA_O_CREAT | PFA_O_TRUNC;
    for (const char* path : {"utdisk:/anew.txt", "gmem:/anew.txt"}) {
        SCOPED_TRACE(path);
        auto held = [&] {
            pfa_stream* in = pfa_open_file(path, PFA_O_RDONLY, 0);
            std::string text;
            char block[64];
            int64_t n = 0;
            while (in && pfa_read_file(in, block, sizeof block, &n) == 0)
                text.append(block, size_t(n));
            if (in)
                pfa_dispose(in);
            return text;
        };
        pfa_stream* first = pfa_open_file(path, PFA_O_WRONLY | PFA_O_CREAT | PFA_O_TRUNC, 0666);
        ASSERT_NE(first, nullptr);
        ASSERT_EQ(pfa_write_file(first, "old content", 11), 0);
        ASSERT_EQ(pfa_dispose(first), 0);

        // Opened, empty to the stream, and the file untouched until the close.
        pfa_stream* s = pfa_open_file(path, kReadWriteAnew, 0666);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(held(), "old content");
        char back[16];
        int64_t n = -1;
        EXPECT_EQ(pfa_read_file(s, back, sizeof back, &n), 5) << "the stream starts empty";
        ASSERT_EQ(pfa_write_file(s, "new", 3), 0);
        EXPECT_EQ(held(), "old content");
        ASSERT_EQ(pfa_seek(s, 0), 0);
        ASSERT_EQ(pfa_read_file(s, back, sizeof back, &n), 0);
        EXPECT_EQ(std::string(back, size_t(n)), "new");
        EXPECT_EQ(pfa_dispose(s), 0);
        EXPECT_EQ(held(), "new");

        // Made when missing.
        Record file(path);
        ASSERT_EQ(pfa_delete_file(file.f), 0);
        s = pfa_open_file(path, kReadWriteAnew, 0666);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(pfa_write_file(s, "made", 4), 0);
        EXPECT_EQ(pfa_dispose(s), 0);
        EXPECT_EQ(held(), "made");
        EXPECT_EQ(pfa_delete_file(file.f), 0);
    }
}

TEST_F(UniAdapterTest, InMemoryLocationRoundTripAndModeTexts) {
    unimemlocation* mem = unimemlocation::GetRegistered();
    ASSERT_TRUE(mem->MakeDirectory("/ZPI", 0, nullptr));
    std::string payload(5000, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7);
    pfa_stream* out = pfa_open_file("mem:/ZPI/zpi.neu", 769, 438);
    ASSERT_NE(out, nullptr);
    for (size_t at = 0; at < payload.size(); at += 2048)
        ASSERT_EQ(pfa_write_file(out, payload.data() + at, int64_t(std::min<size_t>(2048, payload.size() - at))), 0);
    EXPECT_EQ(pfa_flush(out), 0);
    std::string stored;
    ASSERT_TRUE(mem->ReadFile("/ZPI/zpi.neu", stored, nullptr));
    EXPECT_EQ(stored, payload);
    EXPECT_EQ(pfa_dispose(out), 0);

    pfa_stream* in = pfa_open_file("mem:/ZPI/zpi.neu", PFA_O_RDONLY, 0);
    ASSERT_NE(in, nullptr);
    std::string back;
    char block[2048];
    int64_t n = 0;
    while (pfa_read_file(in, block, sizeof block, &n) == 0)
        back.append(block, size_t(n));
    EXPECT_EQ(back, payload);
    EXPECT_EQ(pfa_dispose(in), 0);

    // Mode texts: "g" locations append; "r+" needs the file there.
    Record g("gmem:/log.txt");
    pfa_stream* w = pfa_fopen(g.f, "w");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(pfa_write_file(w, "ab", 2), 0);
    EXPECT_EQ(pfa_dispose(w), 0);
    pfa_stream* a = pfa_fopen(g.f, "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(pfa_write_file(a, "cd", 2), 0);
    EXPECT_EQ(pfa_dispose(a), 0);
    ASSERT_TRUE(gmem_->ReadFile("/log.txt", stored, nullptr));
    EXPECT_EQ(stored, "abcd");
    Record missing("gmem:/missing.txt");
    void* stream = nullptr;
    char16_t name[PFA_NAME_MAX];
    EXPECT_EQ(method<pfa_form16_fn>(10, 16)(missing.f, &stream, name, "r+", 2), 2);
    EXPECT_EQ(stream, nullptr);

    // Truncate closes, cuts and reopens the stream: 1 with a stream held.
    ASSERT_EQ(method<pfa_form13_fn>(9, 13)(g.f, &stream, name, 2, 0), 0);
    EXPECT_EQ(S(name), "gmem:/log.txt");
    EXPECT_EQ(method<pfa_form10_fn>(26, 10)(g.f, &stream, nullptr, 1), 1);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(method<pfa_form6_fn>(6, 6)(g.f, &stream), 'a');
    EXPECT_EQ(method<pfa_form6_fn>(6, 6)(g.f, &stream), -1);
    EXPECT_EQ(method<pfa_form9_fn>(7, 9)(g.f, &stream, -1), -1);
    EXPECT_EQ(method<pfa_form9_fn>(7, 9)(g.f, &stream, 'z'), 'z');
    EXPECT_EQ(method<pfa_form6_fn>(6, 6)(g.f, &stream), 'z');
    EXPECT_EQ(method<pfa_form13_fn>(19, 13)(g.f, &stream, nullptr, 0, 0), 1); // not provided, not fatal
    EXPECT_EQ(method<pfa_form6_fn>(11, 6)(g.f, &stream), 0);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(method<pfa_form10_fn>(26, 10)(g.f, &stream, nullptr, 0), 9);
    EXPECT_EQ(method<pfa_form10_fn>(14, 10)(g.f, &stream, nullptr, 0), 9);
}

TEST_F(UniAdapterTest, ListsFoldersSkippingNamesThatCannotBeRecords) {
    ASSERT_EQ(mkdir(Disk("/list").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(Disk("/list/sub").c_str(), 0777), 0);
    for (const char* f : {"/list/a.txt", "/list/b.neu", "/list/.hidden", "/list/bad\xff.txt",
                          "/list/star*.txt"})
        std::ofstream(Disk(f)) << "x";
    const std::string longName(250, 'n');
    std::ofstream(Disk("/list/" + longName)) << "x"; // full name above 259 units

    auto list = [](pfa_file* dir, int flags, int* skipped) {
        void* records = nullptr;
        EXPECT_EQ(pfa_list_dir(dir, flags, &records, skipped), 0);
        std::vector<std::string> out;
        for (int i = 0; i < xar_count(records); ++i) {
            pfa_file* r = static_cast<pfa_file**>(records)[i];
            char16_t buf[PFA_NAME_MAX];
            EXPECT_EQ(pfa_get_full_name(r, buf), 0);
            out.push_back(S(buf) + (pfa_is_dir(r) ? "!" : ""));
        }
        pfa_free_file_list(&records);
        return out;
    };
    Record dir("utdisk:/list/", PFA_OBJ_FOLDER);
    int skipped = 0;
    EXPECT_EQ(list(dir.f, 4, &skipped),
              (std::vector<std::string>{"utdisk:/list/a.txt", "utdisk:/list/b.neu",
                                        "utdisk:/list/star*.txt", "utdisk:/list/sub/!"}));
    EXPECT_EQ(skipped, 2); // invalid UTF-8 and too long
    EXPECT_EQ(list(dir.f, 32, &skipped).size(), 3u); // files only
    const auto withHidden = list(dir.f, 4 | 2, &skipped);
    ASSERT_FALSE(withHidden.empty());
    EXPECT_EQ(withHidden.front(), "utdisk:/list/.hidden");
    EXPECT_FALSE(pfa_wild_card_enabled());

    // Wildcard search and queries of the folder.
    void* found = nullptr;
    EXPECT_EQ(method<pfa_form18_fn>(94, 18)(dir.f, const_cast<char16_t*>(u"*.neu"), &found), 0);
    auto* d = static_cast<pfa_dir*>(found);
    ASSERT_EQ(pfa_dir_count(d), 1);
    EXPECT_EQ(S(pfa_dir_name(d, 0)), "utdisk:/list/b.neu");
    pfa_free_dir(d);
    Record target("x/b.neu");
    EXPECT_EQ(method<pfa_form18_fn>(66, 18)(dir.f, target.f, nullptr), 0);
    EXPECT_EQ(target.Full(), "utdisk:/list/b.neu");
    Record nowhere("x/none.neu");
    EXPECT_EQ(method<pfa_form18_fn>(66, 18)(dir.f, nowhere.f, nullptr), 2);

    char* value = nullptr;
    Record a("utdisk:/list/a.txt");
    EXPECT_EQ(pfa_get_property(a.f, 2, &value), 0);
    EXPECT_STREQ(value, "1");
    relmem(value);
    EXPECT_EQ(pfa_get_property(dir.f, 4, &value), 0);
    EXPECT_STREQ(value, "folder");
    relmem(value);
    EXPECT_EQ(pfa_get_property(a.f, 6, &value), 11);
    Record gone("utdisk:/list/gone.txt");
    EXPECT_EQ(pfa_get_property(gone.f, 2, &value), 1);
    EXPECT_EQ(method<pfa_form0_fn>(65, 0)(dir.f), 1); // not virtual
    int id = 0;
    EXPECT_EQ(method<pfa_form17_fn>(63, 17)(a.f, &id), 0);
    EXPECT_EQ(id, find_sub_class("uni_folder"));
    char16_t text[PFA_NAME_MAX];
    EXPECT_EQ(method<pfa_form33_fn>(46, 33)(nullptr, dir.f, text, nullptr, nullptr), 0);
    EXPECT_EQ(S(text), "Folder in utdisk");
    EXPECT_EQ(method<pfa_form17_fn>(47, 17)(a.f, text), 0);
    EXPECT_EQ(S(text), "utdisk:/");
    void* categories = nullptr;
    EXPECT_EQ(method<pfa_form35_fn>(92, 35)(dir.f, 7, nullptr, &categories), 0);
    ASSERT_EQ(xar_count(categories), 2);
    EXPECT_EQ(S(static_cast<char16_t**>(categories)[1]), "Type 7");
    xar_wstr_free(&categories);
    EXPECT_EQ(method<pfa_form17_fn>(57, 17)(dir.f, nullptr), 3);
}

TEST_F(UniAdapterTest, RootsShortcutsAndTransactions) {
    void* roots = nullptr;
    int context = 2;
    EXPECT_EQ(method<pfa_form21_fn>(45, 21)(&roots, &context), 0);
    bool sawDisk = false;
    for (int i = 0; i < xar_count(roots); ++i) {
        pfa_file* r = static_cast<pfa_file**>(roots)[i];
        char16_t buf[PFA_NAME_MAX];
        pfa_get_full_name(r, buf);
        EXPECT_EQ(pfa_get_obj_type(r), PFA_OBJ_FOLDER);
        if (S(buf) == "utdisk:/")
            sawDisk = !pfa_get_ui_hidden_flag(r);
    }
    EXPECT_TRUE(sawDisk);
    pfa_free_file_list(&roots);
    int diskOnly = 32;
    EXPECT_EQ(method<pfa_form21_fn>(45, 21)(&roots, &diskOnly), 0);
    EXPECT_EQ(roots, nullptr);

    void* lists[3] = {};
    EXPECT_EQ(method<pfa_form24_fn>(51, 24)(nullptr, &lists[0], &lists[1], &lists[2]), 0);
    EXPECT_GE(xar_count(lists[0]), 2);
    EXPECT_EQ(xar_count(lists[0]), xar_count(lists[2]));
    for (auto& l : lists)
        xar_wstr_free(&l);

    // Transactions with hints of every kind; refused ones are left out and
    // the converted texts released (the sanitizer checks).
    Record file("gmem:/txn/a.txt");
    Record other("gmem:/txn/b.txt");
    const char* text = "hint text";
    pfa_hint hints[6] = {{0, {3}},
                         {1, {int64_t(reinterpret_cast<intptr_t>(text))}},
                         {2, {int64_t(reinterpret_cast<intptr_t>(other.f))}},
                         {6, {0}},
                         {4, {1}},
                         {8, {int64_t(reinterpret_cast<intptr_t>(other.f)), 15, 7, 9}}};
    const int before = uni_open_txn_count();
    EXPECT_EQ(method<pfa_form5_fn>(70, 5)(file.f, 6, hints), 0);
    EXPECT_EQ(uni_open_txn_count(), before + 1);
    EXPECT_EQ(method<pfa_form5_fn>(70, 5)(file.f, 0, nullptr), 1); // already open
    EXPECT_EQ(method<pfa_form5_fn>(71, 5)(file.f, 2, hints), 0);
    EXPECT_EQ(method<pfa_form5_fn>(71, 5)(file.f, 1, nullptr), 9);
    uni_txnmsg* message = nullptr;
    EXPECT_EQ(method<pfa_form31_fn>(72, 31)(file.f, 0, nullptr, &message, nullptr), 0);
    int kind = -5;
    EXPECT_EQ(method<pfa_form23_fn>(74, 23)(message, &kind), 0);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(method<pfa_form28_fn>(75, 28)(message), 0);
    Record owner;
    EXPECT_EQ(method<pfa_form1_fn>(82, 1)(other.f, owner.f), 0);
    EXPECT_EQ(owner.Full(), "gmem:/txn/");
    EXPECT_EQ(method<pfa_form30_fn>(73, 30)(file.f, 0, nullptr, nullptr), 0);
    EXPECT_EQ(method<pfa_form30_fn>(73, 30)(file.f, 1, nullptr, nullptr), 17);
    EXPECT_EQ(method<pfa_form30_fn>(73, 30)(file.f, 0, nullptr, nullptr), 1);
    EXPECT_EQ(method<pfa_form1_fn>(82, 1)(other.f, owner.f), 3);

    // Content hints and neutral data.
    EXPECT_EQ(method<pfa_form0_fn>(84, 0)(file.f), 1); // none yet
    pfa_set_content_hints(file.f, 2, 15, 1, 2);
    EXPECT_EQ(method<pfa_form0_fn>(83, 0)(file.f), 0);
    EXPECT_TRUE(uni_has_content_hints_for("gmem:/txn/a.txt"));
    EXPECT_EQ(method<pfa_form0_fn>(84, 0)(file.f), 0);
    EXPECT_FALSE(uni_has_content_hints_for("gmem:/txn/a.txt"));
    EXPECT_EQ(method<pfa_form5_fn>(77, 5)(file.f, 3, const_cast<char*>("abc")), 0);
    void* data = nullptr;
    int64_t size = 0;
    EXPECT_EQ(method<pfa_form31_fn>(76, 31)(file.f, 0, &data, &size, nullptr), 0);
    EXPECT_EQ(std::string(static_cast<char*>(data), size_t(size)), "abc");
    rlsmem(data);
    EXPECT_EQ(method<pfa_form3_fn>(81, 3)(file.f, 25), 1); // kept in memory
    EXPECT_EQ(method<pfa_form3_fn>(81, 3)(file.f, 26), 1); // no such row
    EXPECT_EQ(method<pfa_form0_fn>(85, 0)(file.f), 1);
}

TEST(UniPathConversion, StrictBothWaysAndSizedToTheText) {
    char native[8];
    EXPECT_EQ(mbxNeutToNative(u"abc", native, 8), 0);
    EXPECT_STREQ(native, "abc");
    EXPECT_EQ(mbxNeutToNative(u"\u00e9\u00e9\u00e9\u00e9", native, 8), 9); // 8 bytes and the end
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(mbxNeutToNative(lone, native, 8), -1);
    char16_t neutral[8];
    EXPECT_EQ(mbxNativeToNeut("\xF0\x9F\x98\x80", neutral, 8), 0);
    EXPECT_EQ(neutral[0], 0xD83D);
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "ab\xE2\x82", "\xF5\x80\x80\x80", "\xff"})
        EXPECT_EQ(mbxNativeToNeut(bad, neutral, 8), -1) << bad;
}

TEST_F(UniAdapterTest, LongNamesAreConvertedWholeOrRefusedNeverCut) {
    // 150 two-byte characters: 159 neutral units but more than 260 native
    // bytes, so the conversion takes the size it asks for.
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "\xC3\xA9";
    const std::string path = "gmem:/" + longName + ".txt";
    pfa_stream* s = pfa_open_file(path.c_str(), 769, 438);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pfa_dispose(s), 0);
    EXPECT_TRUE(gmem_->IsFile(("/" + longName + ".txt").c_str()));
    Record r(path);
    int id = 0;
    EXPECT_EQ(method<pfa_form17_fn>(63, 17)(r.f, &id), 0);
    EXPECT_EQ(id, find_sub_class("uni_memory"));

    // A name of exactly 259 units is whole; one more is refused.
    const std::string base = "gmem:/";
    Record fits(base + std::string(259 - base.size() - 4, 'x') + ".txt");
    EXPECT_EQ(fits.Full().size(), 259u);
    Record over;
    EXPECT_EQ(over.Parse(base + std::string(260 - base.size() - 4, 'x') + ".txt"), PFA_TOO_LONG);
    EXPECT_EQ(pfa_open_file((base + std::string(400, 'y')).c_str(), 769, 438), nullptr);
    EXPECT_EQ(pfa_put_component_len(fits.f, 1, u"/more/", -1, 0), PFA_TOO_LONG);
    EXPECT_EQ(fits.Full().size(), 259u);

    // A component is cut to the buffer without splitting a surrogate pair,
    // and the cut is reported; the location method refuses a cut component.
    Record pair("gmem:/\U0001F600\U0001F600/f.txt");
    char16_t small[4];
    EXPECT_EQ(pfa_get_component(pair.f, 1, small, 4), PFA_TOO_LONG);
    EXPECT_EQ(small[0], u'/');
    EXPECT_EQ(small[1], 0xD83D);
    EXPECT_EQ(small[2], 0xDE00);
    EXPECT_EQ(small[3], 0);
    EXPECT_EQ(pfa_get_component(pair.f, 1, small, 3), PFA_TOO_LONG);
    EXPECT_EQ(small[1], 0) << "a lone high surrogate is never left";

    // Invalid neutral text is refused by the conversions of the methods.
    const char16_t lone[] = {u'g', u'm', u'e', u'm', u':', u'/', 0xDC00, u'/', 0};
    int consumed = 0;
    Record bad;
    EXPECT_EQ(method<pfa_form19_fn>(3, 19)(bad.f, const_cast<char16_t*>(lone), &consumed, nullptr), 9);
    EXPECT_EQ(pfa_open_file("gmem:/\xff.txt", 769, 438), nullptr);
}

} // namespace
