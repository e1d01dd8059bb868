// A failure raised through the journal keeps its reason: the journal's
// record of the call and the exception the caller catches both carry it.
#include "journal_test_util.h"

#include "btk_quoted.h"
#include "kernel/model/session_factory.h"
#include "kpi_session.h"
#include "zpi50_status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class JournaledFailures : public JournalTest {
protected:
    void SetUp() override {
        KGetPISession();
        KWPISessionFactory_j().GetSession();
        JournalTest::SetUp();
    }
};

TEST_F(JournaledFailures, WriteZPIRaisesAndRecordsThePathAndTheReason) {
    xrchandle<KWPISession> session = KWPISessionFactory_j().GetSession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    const std::string path = ::testing::TempDir() + "no_such_folder_zpi/model.xml";
    Records();

    std::string what;
    int status = 0;
    std::string reason;
    try {
        model->WriteZPI(path.c_str());
    } catch (const xthrown& e) {
        what = e.what();
        if (KXSimple* simple = KXSimple::softcast(e.get()))
            status = simple->GetStatus();
        reason = KXSimpleReason(e.get());
    }
    EXPECT_EQ(status, ZPI_STATUS_DOC_OPEN);
    const std::string expected = "cannot create " + btkQuoted(path) + ": No such file or directory";
    EXPECT_EQ(reason, expected);
    EXPECT_EQ(what, "KBase::XSimple status -52: " + expected);

    std::string record;
    for (const std::string& r : Records())
        if (r.find(".WriteZPI(") != std::string::npos)
            record = r;
    // (The journal writes the reason between quotes of its own format: each
    // quote and backslash of it, those of the quoted path too, escaped again.)
    std::string quoted = "\"";
    for (char c : expected)
        quoted += c == '"' || c == '\\' ? std::string{'\\', c} : std::string(1, c);
    EXPECT_NE(record.find("{status=-52,reason=" + quoted + "\"}"), std::string::npos) << record;

    // The refusal of a closed model carries its reason as well.
    model->Close();
    Records();
    EXPECT_FALSE(Raised([&] { model->SaveAsNeutral(nullptr); }).isNull());
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find("{status=13,reason=\"the model was closed"), std::string::npos)
        << records[0];
}

} // namespace
