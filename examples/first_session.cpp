// First steps with the object interface: get the session, make value
// objects and lists, and print what was made.
#include "zpi50.h"

#include <cstdio>

namespace {

void printPoint(const char* label, const xrchandle<KPoint3D>& p) {
    std::printf("%s (%g, %g, %g)\n", label, p->x(), p->y(), p->z());
}

int run() {
    xrchandle<KWPISession> session = KGetPISession();
    std::printf("session: %s\n", session->giveRtti()->name());
    std::printf("same session on the second call: %s\n",
                KGetPISession().get() == session.get() ? "yes" : "no");

    xrchandle<KPoint3D> origin = KCreatePoint3D(0, 0, 0);
    xrchandle<KCsys> csys =
        KCsys::Create(origin, KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
    xrchandle<KVector3D> z = csys->GetZAxis();
    std::printf("csys z axis: (%g, %g, %g)\n", z->Get(0), z->Get(1), z->Get(2));

    xrchandle<KBox3D> box = KBox3D::Create(KCreatePoint3D(-1, -2, -3), KCreatePoint3D(4, 5, 6));
    printPoint("box min:", box->GetMinPoint());
    printPoint("box max:", box->GetMaxPoint());

    xrchandle<KPoint3DList> points(KPoint3DList::create());
    for (int i = 0; i < 4; ++i)
        points->Append(KCreatePoint3D(i, i * i, 0));
    std::printf("point list: %d points\n", points->Count());
    for (int i = 0; i < points->Count(); ++i)
        printPoint("  point", points->Get(i));

    xrchandle<xrealsequence> parameters(xrealsequence::create());
    for (double t : {0.0, 0.25, 0.5, 1.0})
        parameters->Append(t);
    std::printf("parameters:");
    for (int i = 0; i < parameters->Count(); ++i)
        std::printf(" %g", parameters->Get(i));
    std::printf("\n");

    xrchandle<KPICurveList> curves(KPICurveList::create());
    std::printf("curve list: %s with %d curves\n", curves->giveRtti()->name(), curves->Count());
    return 0;
}

} // namespace

int main() {
    try {
        return run();
    } catch (const xthrown& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
}
