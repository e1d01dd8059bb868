// The pfa file layer on its own (records, kinds, local files) and the uni
// function layer over the in-memory and local-folder locations.
#include "btkstring.h"
#include "pfa.h"
#include "uniloc.h"
#include "xmemory.h"

#include "file_targets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/stat.h>

namespace {

std::string full(const pfa_file* f) {
    char16_t buf[PFA_NAME_MAX];
    EXPECT_EQ(pfa_get_full_name(f, buf), 0);
    return btkStrUtf16ToUtf8(buf);
}

TEST(PfaRecord, ParsesNameTypeVersionAndRefusesBadNames) {
    pfa_file* f = pfa_alloc_qel_file();
    ASSERT_EQ(pfa_parse_to_qel_file(f, u"/tmp/a/part.neu.3", PFA_OBJ_UNKNOWN), 0);
    EXPECT_EQ(pfa_get_kind(f), 0);
    int v = 0;
    pfa_get_file_vers(f, &v);
    EXPECT_EQ(v, 3);
    char16_t buf[PFA_NAME_MAX];
    ASSERT_EQ(pfa_get_file_name(f, PFA_MASK_NAME | PFA_MASK_TYPE, buf), 0);
    EXPECT_EQ(btkStrUtf16ToUtf8(buf), "part.neu");
    ASSERT_EQ(pfa_get_file_name(f, 31, buf), 0);
    EXPECT_EQ(btkStrUtf16ToUtf8(buf), "/tmp/a/part.neu");
    EXPECT_EQ(full(f), "/tmp/a/part.neu.3");

    ASSERT_EQ(pfa_parse_to_qel_file(f, u"a.1", PFA_OBJ_UNKNOWN), 0); // one dot: a type
    pfa_get_file_vers(f, &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(pfa_parse_to_qel_file(f, u"/tmp/", PFA_OBJ_UNKNOWN), 0);
    EXPECT_TRUE(pfa_is_dir(f));
    EXPECT_EQ(pfa_parse_to_qel_file(f, u"/tmp/*.neu", PFA_OBJ_UNKNOWN), PFA_BAD_NAME);
    const int before = enable_wild_card();
    EXPECT_EQ(pfa_parse_to_qel_file(f, u"/tmp/*.neu", PFA_OBJ_PATTERN), 0);
    if (!before)
        disable_wild_card();
    const char16_t lone[] = {u'/', 0xD801, u'x', 0};
    EXPECT_EQ(pfa_parse_to_qel_file(f, lone, PFA_OBJ_UNKNOWN), PFA_BAD_NAME);
    EXPECT_EQ(pfa_parse_to_qel_file(f, nullptr, 0), PFA_BAD_ARG);
    EXPECT_EQ(pfa_get_full_name(f, buf), 0);
    EXPECT_EQ(buf[0], 0) << "a failed parse leaves an empty record";
    pfa_free_qel_file(f);
}

int g_released = 0;
void releaseCounted(void* p) {
    ++g_released;
    delete static_cast<int*>(p);
}
void* copyCounted(void* p) { return new int(*static_cast<int*>(p) + 100); }

TEST(PfaRecord, ApplicationInfoIsCopiedAndReleasedWithTheRecord) {
    const int type = appinfo_register_type(releaseCounted, copyCounted, 0);
    ASSERT_GE(type, 0);
    pfa_file* a = pfa_alloc_qel_file();
    EXPECT_EQ(pfa_find_appinfo(a, type + 1000, 1), nullptr) << "unknown type";
    pfa_file* b = pfa_alloc_qel_file();
    EXPECT_EQ(pfa_find_appinfo(a, type, 0), nullptr);
    pfa_find_appinfo(a, type, 1)->data = new int(1);
    g_released = 0;
    ASSERT_EQ(pfa_copy_qel_file(a, b), 0);
    EXPECT_EQ(*static_cast<int*>(pfa_find_appinfo(b, type, 0)->data), 101);
    pfa_recycle_qel_file(a);
    EXPECT_EQ(g_released, 1);
    EXPECT_EQ(pfa_find_appinfo(a, type, 0), nullptr);
    pfa_free_qel_file(a);
    pfa_free_qel_file(b);
    EXPECT_EQ(g_released, 2);
}

int probe(pfa_file*) { return 42; }

TEST(PfaKinds, MethodsRegisterOnlyWhileTheirKindIsSetUp) {
    const auto m = reinterpret_cast<pfa_method>(probe);
    EXPECT_EQ(pfa_loc_method_register(5, 25, 0, m), PFA_BAD_ARG);
    ASSERT_EQ(pfa_loc_register_setup(5), 0);
    EXPECT_EQ(pfa_loc_method_register(5, 25, 0, m), 0);
    EXPECT_EQ(pfa_loc_method_register(5, PFA_MAX_SLOT + 1, 0, m), PFA_BAD_ARG);
    EXPECT_EQ(pfa_loc_method_register(5, 26, 0, nullptr), PFA_BAD_ARG);
    EXPECT_FALSE(pfa_loc_is_registered(5));
    EXPECT_EQ(pfa_loc_method_get(5, 25, nullptr), nullptr) << "not until the set-up closes";
    ASSERT_EQ(pfa_loc_register_setup(0), 0);
    int form = -1;
    EXPECT_EQ(pfa_loc_method_get(5, 25, &form), m);
    EXPECT_EQ(form, 0);
    EXPECT_EQ(pfa_loc_register_setup(PFA_MAX_KIND), PFA_BAD_ARG);
    // Starting the kind again clears its table.
    pfa_loc_register_setup(5);
    pfa_loc_register_setup(0);
    EXPECT_EQ(pfa_loc_method_get(5, 25, nullptr), nullptr);
}

TEST(PfaStreams, LocalFilesAsTheTransferDumpWritesThem) {
    const filetargets::ScratchDir dir(filetargets::Reach::Self, PFA_NAME_MAX);
    if (!dir.Made())
        GTEST_SKIP() << filetargets::kNoFolderWithRoom;
    const std::string path = dir.Path("transferred.xml");
    pfa_stream* out = pfa_open_file(path.c_str(), 769, 438);
    ASSERT_NE(out, nullptr);
    std::string doc(5000, 'd');
    for (size_t at = 0; at < doc.size(); at += 2048)
        ASSERT_EQ(pfa_write_file(out, doc.data() + at, int64_t(std::min<size_t>(2048, doc.size() - at))), 0);
    EXPECT_EQ(pfa_dispose(out), 0);
    int64_t size = 0;
    int isDir = 1;
    EXPECT_EQ(btk_stat(path.c_str(), &size, &isDir), 0);
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(isDir, 0);
    EXPECT_EQ(btk_stat((path + ".none").c_str(), nullptr, nullptr), -1);

    pfa_stream* in = pfa_open_file(path.c_str(), PFA_O_RDONLY, 0);
    ASSERT_NE(in, nullptr);
    char buf[4096];
    int64_t n = 0;
    EXPECT_EQ(pfa_read_file(in, buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 4096);
    EXPECT_EQ(pfa_read_file(in, buf, sizeof buf, &n), 0);
    EXPECT_EQ(n, 904);
    EXPECT_EQ(pfa_read_file(in, buf, sizeof buf, &n), PFA_END);
    EXPECT_EQ(pfa_dispose(in), 0);
    EXPECT_EQ(pfa_open_file(dir.Path("none.xml").c_str(), PFA_O_RDONLY, 0), nullptr);
    EXPECT_EQ(pfa_open_file("bad\xff", PFA_O_RDONLY, 0), nullptr);
}

TEST(UniLayer, PathsMustNameARegisteredLocationAndStayInIt) {
    static unimemlocation mem("ulmem");
    static const int id = unilocation::Register(&mem);
    (void)id;
    EXPECT_TRUE(uni_is_unilocation("ulmem:/a/b", nullptr));
    EXPECT_TRUE(uni_is_unilocation("ulmem:", nullptr));
    for (const char* bad : {"ulmem:/a/../b", "ulmem:a", "nosuch:/a", ":/a", "ul mem:/a", "ulmem:/\xff",
                            "/plain/path", ""})
        EXPECT_FALSE(uni_is_unilocation(bad, nullptr)) << bad;
    EXPECT_FALSE(uni_is_unilocation(nullptr, nullptr));

    ASSERT_TRUE(uni_dir_create("ulmem:/lib/sub"));
    uni_stream* s = uni_open("ulmem:/lib/part.neu", UNI_WRITE, 1);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(uni_write(s, "12345", 5, 0));
    EXPECT_TRUE(uni_close(s));
    EXPECT_EQ(uni_open("ulmem:/lib/new.neu", UNI_WRITE, 0), nullptr) << "no creation asked";
    EXPECT_EQ(uni_open("ulmem:/lib/sub", UNI_READ, 0), nullptr) << "a folder";

    char out[64];
    EXPECT_TRUE(uni_lib_search("ulmem:/nowhere", "part.neu", "ulmem:/x;ulmem:/lib", out, sizeof out));
    EXPECT_STREQ(out, "ulmem:/lib/part.neu");
    EXPECT_FALSE(uni_lib_search("ulmem:/lib/sub", "../part.neu", "", out, sizeof out));
    EXPECT_FALSE(uni_lib_search("ulmem:/lib", "part.neu", "", out, 8)) << "does not fit";

    EXPECT_TRUE(uni_truncate("ulmem:/lib/part.neu", 2));
    int64_t size = 0;
    EXPECT_TRUE(uni_file_get_size("ulmem:/lib/part.neu", &size));
    EXPECT_EQ(size, 2);
    EXPECT_FALSE(uni_truncate("ulmem:/lib/part.neu", int64_t(1) << 40)) << "growth is bounded";
    EXPECT_FALSE(uni_truncate("ulmem:/lib/part.neu", -1));
    EXPECT_FALSE(uni_file_get_times("ulmem:/lib/part.neu", nullptr, nullptr, nullptr));

    EXPECT_TRUE(uni_extract_parent("ulmem:/lib/sub", out, sizeof out));
    EXPECT_STREQ(out, "ulmem:/lib/");
    EXPECT_TRUE(uni_extract_parent("ulmem:/", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(uni_dir_remove("ulmem:/lib")) << "not empty";
    EXPECT_TRUE(uni_dir_remove("ulmem:/lib/sub"));
    EXPECT_TRUE(uni_del_file("ulmem:/lib/part.neu"));
    EXPECT_TRUE(uni_dir_remove("ulmem:/lib"));
    EXPECT_EQ(uni_is_dir("ulmem:/lib"), 0);
}

TEST(UniLayer, LocalFolderLocationListsRenamesAndKeepsTimes) {
    const filetargets::ScratchDir dir;
    unilocallocation local("ullocal", dir.Folder().c_str());
    unilocallocation* disk = &local;
    const int id = unilocation::Register(disk);
    ASSERT_TRUE(disk->MakeDirectory("/x/y", 0, nullptr));
    ASSERT_TRUE(disk->WriteFile("/x/f.txt", "abc", 3, nullptr));
    std::vector<uniEntry> entries;
    ASSERT_TRUE(disk->List("/x", entries, nullptr));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "f.txt");
    EXPECT_TRUE(entries[1].isDir);
    EXPECT_TRUE(uni_access("ullocal:/x/f.txt", UNI_ACC_READ | UNI_ACC_RENAME));
    EXPECT_FALSE(uni_access("ullocal:/x/f.txt", UNI_ACC_MEMORY));
    EXPECT_TRUE(uni_dir_rename("ullocal:/x/y", "ullocal:/x/z"));
    EXPECT_FALSE(uni_dir_rename("ullocal:/x/z", "ullocal:/x/f.txt")) << "target exists";
    int64_t modified = -1;
    EXPECT_TRUE(uni_file_get_times("ullocal:/x/f.txt", nullptr, &modified, nullptr));
    EXPECT_GT(modified, 0);
    EXPECT_FALSE(disk->RemoveDirectory("/", nullptr));
    unilocation::Unregister(id);
}

} // namespace
