// A translator's main road through the object interface: build the model of
// a unit box (12 edges on straight lines, 6 planar faces with one loop each,
// a quilt of the faces and a coordinate-system datum), attach a model
// extension with its length unit, read everything back and print a summary;
// then write the model as an interface-data document and as a neutral part
// file into a temporary folder of its own, read the document back, and
// remove what it wrote.
#include "zpi50.h"

#include "file_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

struct EdgeDef {
    int id, face1, face2;
    double a[3], b[3];
};
struct FaceDef {
    int id;
    const char* name;
    double origin[3], xAxis[3], yAxis[3];
    int loop[4];
};

const EdgeDef kEdges[] = {
    {1, 1, 3, {0, 0, 0}, {1, 0, 0}},  {2, 1, 6, {1, 0, 0}, {1, 1, 0}},
    {3, 1, 4, {1, 1, 0}, {0, 1, 0}},  {4, 1, 5, {0, 1, 0}, {0, 0, 0}},
    {5, 2, 3, {0, 0, 1}, {1, 0, 1}},  {6, 2, 6, {1, 0, 1}, {1, 1, 1}},
    {7, 2, 4, {1, 1, 1}, {0, 1, 1}},  {8, 2, 5, {0, 1, 1}, {0, 0, 1}},
    {9, 3, 5, {0, 0, 0}, {0, 0, 1}},  {10, 3, 6, {1, 0, 0}, {1, 0, 1}},
    {11, 4, 6, {1, 1, 0}, {1, 1, 1}}, {12, 4, 5, {0, 1, 0}, {0, 1, 1}},
};
const FaceDef kFaces[] = {
    {1, "bottom", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 2, 3, 4}},
    {2, "top", {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {5, 6, 7, 8}},
    {3, "front", {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 10, 5, 9}},
    {4, "back", {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {3, 11, 7, 12}},
    {5, "left", {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {4, 12, 8, 9}},
    {6, "right", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 11, 6, 10}},
};

xrchandle<KPoint3D> Point(const double* p) { return KCreatePoint3D(p[0], p[1], p[2]); }
xrchandle<KVector3D> Vector(const double* v) { return KCreateVector3D(v[0], v[1], v[2]); }

const char* SurfaceName(KPISurfType type) {
    static const char* const names[] = {"plane",    "cylinder",         "cone",
                                        "torus",    "revolved surface", "ruled surface",
                                        "tabulated cylinder", "fillet surface", "spline surface",
                                        "B-spline surface", "cylindrical spline surface"};
    return unsigned(type) < sizeof names / sizeof names[0] ? names[type] : "unknown surface";
}

const char* LoopName(KPILoopTraversal traversal) {
    switch (traversal) {
    case KPI_LOOP_TRAV_EXTERNAL:
        return "outer";
    case KPI_LOOP_TRAV_INTERNAL:
        return "inner";
    default:
        return "untyped";
    }
}

std::string PointText(const xrchandle<KPoint3D>& p) {
    char text[96];
    std::snprintf(text, sizeof text, "(%g, %g, %g)", p->x(), p->y(), p->z());
    return text;
}

// ---- building -----------------------------------------------------------------------
xrchandle<KWPIModel> BuildBox(const xrchandle<KWPISession>& session) {
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
    model->SetOutline(KBox3D::Create(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 1, 1)));

    // Create, then add: every object is made free-standing and then added.
    xrchandle<KPIEdgeList> edges(KPIEdgeList::create());
    for (const EdgeDef& e : kEdges) {
        xrchandle<KPILine> line = session->CreatePILine(Point(e.a), Point(e.b));
        edges->Append(model->CreatePIEdgeWithXYZCurve(e.id, e.face1, e.face2, line, KTRAV_SAME,
                                                      KTRAV_OPPOSITE));
    }
    model->SetPIEdges(edges);

    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    for (const FaceDef& f : kFaces) {
        xrchandle<KPIPlane> plane =
            session->CreatePIPlane(KCsys::Create(Point(f.origin), Vector(f.xAxis), Vector(f.yAxis)));
        xrchandle<xintsequence> edgeIds(xintsequence::create());
        for (int id : f.loop)
            edgeIds->Append(id);
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, edgeIds));
        xrchandle<KBoxUV> extent = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
        faces->Append(model->CreatePIFace(f.id, extent, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    }
    model->SetPIFaces(faces);

    model->AddPIQuilt(model->CreatePIQuilt(100, faces));
    xrchandle<KCsys> origin = KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0),
                                            KCreateVector3D(0, 1, 0));
    model->AddPIDatum(model->CreatePIDatum(200, "BOX_CSYS", origin, nullptr, nullptr));

    xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
    xrchandle<KPIUnitList> units(KPIUnitList::create());
    units->Append(ext->CreatePILengthUnit(KPI_LENGTH_UNIT_MM));
    ext->SetPIUnits(units);
    model->SetWPIModelExt(ext);
    return model;
}

// ---- reading back -------------------------------------------------------------------
void PrintSummary(const xrchandle<KWPIModel>& model) {
    std::printf("model: accuracy %g (%s), outline %s to %s\n", model->GetAccuracy(),
                model->GetAccuracyType() == KACCURACY_ABSOLUTE ? "absolute" : "relative",
                PointText(model->GetOutline()->GetMinPoint()).c_str(),
                PointText(model->GetOutline()->GetMaxPoint()).c_str());
    std::printf("added: %d faces, %d edges, %d quilts, %d datums\n", model->CountPIFaces(),
                model->CountPIEdges(), model->CountPIQuilts(), model->CountPIDatums());

    xrchandle<KPIFaceList> faces = model->GetPIFaces();
    std::printf("faces (%d):\n", faces ? faces->Count() : 0);
    for (int i = 0; faces && i < faces->Count(); ++i) {
        xrchandle<KPIFace> face = faces->Get(i);
        xrchandle<KPISurface> surface = face->GetPISurface();
        xrchandle<KPILoopList> loops = face->GetPILoopList();
        std::printf("  face %d (%s): %s at %s", face->GetId(), kFaces[i].name,
                    SurfaceName(surface->GetPISurfaceType()),
                    PointText(KPIPlane::cast(surface.get())->GetCsys()->GetOrigin()).c_str());
        for (int l = 0; loops && l < loops->Count(); ++l) {
            xrchandle<KPILoop> loop = loops->Get(l);
            xrchandle<xintsequence> ids = loop->GetEdgeIds();
            std::printf(", %s loop of edges", LoopName(loop->GetPILoopTraversal()));
            for (int k = 0; ids && k < ids->Count(); ++k)
                std::printf(" %d", ids->Get(k));
        }
        std::printf("\n");
    }

    xrchandle<KPIEdgeList> edges = model->GetPIEdges();
    std::printf("edges (%d):\n", edges ? edges->Count() : 0);
    for (int i = 0; edges && i < edges->Count(); ++i) {
        xrchandle<KPIEdge> edge = edges->Get(i);
        xrchandle<KPICurve> curve = edge->GetXYZCurve();
        KPILine* line = KPILine::cast(curve.get());
        std::printf("  edge %d between faces %d and %d: line %s to %s\n", edge->GetId(),
                    edge->GetIdFace1(), edge->GetIdFace2(), PointText(line->GetEnd0()).c_str(),
                    PointText(line->GetEnd1()).c_str());
    }

    xrchandle<KPIQuiltList> quilts = model->GetPIQuilts();
    for (int i = 0; quilts && i < quilts->Count(); ++i) {
        xrchandle<KPIQuilt> quilt = quilts->Get(i);
        xrchandle<KPIFaceList> members = quilt->GetFaces();
        std::printf("quilt %d of %d faces\n", quilt->GetId(), members ? members->Count() : 0);
    }
    xrchandle<KPIDatumList> datums = model->GetPIDatums();
    for (int i = 0; datums && i < datums->Count(); ++i) {
        xrchandle<KPIDatum> datum = datums->Get(i);
        xrchandle<KCsys> csys = datum->GetCsys();
        std::printf("datum %d \"%s\": coordinate system at %s\n", datum->GetId(),
                    datum->GetName().c_str(), csys ? PointText(csys->GetOrigin()).c_str() : "-");
    }
    xrchandle<KPIUnitList> units = model->GetWPIModelExt()->GetPIUnits();
    for (int i = 0; units && i < units->Count(); ++i)
        std::printf("unit \"%s\", factor %g\n", units->Get(i)->GetName().c_str(),
                    units->Get(i)->GetFactor());
}

// ---- saving and reading back --------------------------------------------------------
// A folder of this run's own (two runs at once never share one). It
// removes only the files that this program wrote into it, and then the
// folder when nothing else is left in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code ec;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "zpi50_box_XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ScratchFolder() {
        for (const std::string& file : written_)
            std::remove(file.c_str());
        if (!path_.empty() && ::rmdir(path_.c_str()) != 0)
            std::printf("left %s: it holds files this program did not write\n", path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Made() const { return !path_.empty(); }
    // A path in the folder, to be removed again at the end.
    std::string File(const char* name) {
        written_.push_back(path_ + "/" + name);
        return written_.back();
    }

private:
    std::string path_;
    std::vector<std::string> written_;
};

void SaveAndReadBack(const xrchandle<KWPISession>& session, const xrchandle<KWPIModel>& model) {
    ScratchFolder folder;
    if (!folder.Made()) {
        std::printf("no temporary folder: %s\n", std::strerror(errno));
        return;
    }
    const std::string xml = folder.File("box.xml");
    const std::string neutral = folder.File("box.neu");

    model->WriteZPI(xml.c_str());
    // The neutral file replaces its target only once it is whole.
    xrchandle<FileStream> stream(new FileStream(neutral));
    model->SaveAsNeutral(stream);
    if (!stream->Commit()) {
        std::printf("the neutral file was not saved: %s\n", stream->Error().c_str());
        return;
    }
    std::error_code ec;
    std::printf("written: box.xml (%ju bytes), box.neu (%ju bytes)\n",
                std::uintmax_t(std::filesystem::file_size(xml, ec)),
                std::uintmax_t(std::filesystem::file_size(neutral, ec)));

    xrchandle<KWPIModel> read = session->ReadZPI(xml.c_str());
    if (!read) {
        std::printf("the document could not be read back\n");
        return;
    }
    // A model read from a document holds its items in its interface data:
    // the lists come from GetPIFaces and its kin (CountPIFaces is 0).
    xrchandle<KPIFaceList> faces = read->GetPIFaces();
    xrchandle<KPIEdgeList> edges = read->GetPIEdges();
    xrchandle<KWPIModelExt> ext = read->GetWPIModelExt();
    xrchandle<KPIUnitList> units = ext ? ext->GetPIUnits() : nullptr;
    std::printf("read back: %d faces, %d edges, unit \"%s\"\n", faces ? faces->Count() : 0,
                edges ? edges->Count() : 0,
                units && units->Count() > 0 ? units->Get(0)->GetName().c_str() : "-");
    read->Close();
}

int Run() {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = BuildBox(session);
    PrintSummary(model);
    SaveAndReadBack(session, model);
    model->Close();
    std::printf("closed; the model still lists %d faces\n", model->CountPIFaces());
    return 0;
}

} // namespace

int main() {
    try {
        return Run();
    } catch (const xthrown& e) {
        // The text names the exception and its status or refused argument.
        std::fprintf(stderr, "box_model failed: %s\n", e.what());
        return 1;
    }
}
