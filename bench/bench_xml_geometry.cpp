// Writing and reading curve elements of large models: many small curves and
// few large splines, through the process-wide writer into memory, and back
// through the SAX handler.
#include "kernel/records/qel_routines.h"
#include "xml/framework/sax_handler.h"
#include "xml/geometry/xml_curves.h"
#include "xml/framework/xml_streams.h"
#include "xml/framework/xml_writer.h"
#include "xmemory.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

QelCurvedata Spline(int n) {
    QelCurvedata c{};
    c.spline.kind = QEL_CURVE_SPLINE;
    c.spline.params = static_cast<double*>(xar_alloc(n, sizeof(double), 4));
    c.spline.points = static_cast<QelPoint*>(xar_alloc(n, sizeof(QelPoint), 4));
    c.spline.tangents = static_cast<QelPoint*>(xar_alloc(n, sizeof(QelPoint), 4));
    for (int i = 0; i < n; ++i) {
        c.spline.params[i] = i / 7.0;
        c.spline.points[i] = QelPoint{{i * 0.1, i * 0.2, 1.0 / (i + 1)}};
        c.spline.tangents[i] = QelPoint{{1, 0, i * 1e-3}};
    }
    c.spline.count = uint32_t(n);
    return c;
}

QelCurvedata Line(double t) {
    QelCurvedata c{};
    c.line = QelLinedata{QEL_CURVE_LINE, {t, 0.5, -t}, {t + 1, 1.0 / 3, t * 2}};
    return c;
}

// Writes `count` copies of the curve under one root.
std::string WriteCurves(const QelCurvedata& c, int count) {
    IntfXmlStringStream s;
    {
        IntfXmlWriter w(&s);
        IntfXmlWriter::Use use(w);
        IntfXmlWriting::StartElement("Curves");
        for (int i = 0; i < count; ++i)
            IntfXmlCurve(&c, nullptr);
        IntfXmlWriting::EndElement();
    }
    s.Close();
    return s.Output();
}

struct CurvesTop : IntfXmlElement {
    int read = 0;
    bool root = false;
    IntfXmlCurve* last = nullptr;
    IntfXmlElement* startElement(const char*, IntfXmlAttributes&) override {
        if (!root) {
            root = true;
            return this;
        }
        ++read;
        return MakeChild<IntfXmlCurve>();
    }
    IntfXmlElement* endElement(const char*) override { return nullptr; }
    bool IsListHandler() const override { return true; } // readers go at their end tags
};

void BM_WriteLines(benchmark::State& state) {
    QelCurvedata c = Line(1.25);
    size_t bytes = 0;
    for (auto _ : state)
        bytes = WriteCurves(c, int(state.range(0))).size();
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
}
BENCHMARK(BM_WriteLines)->Arg(1000)->Arg(100000);

void BM_WriteSpline(benchmark::State& state) {
    QelCurvedata c = Spline(int(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state)
        bytes = WriteCurves(c, 1).size();
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
    qel_curvedata_clear(&c);
}
BENCHMARK(BM_WriteSpline)->Arg(1000)->Arg(1000000);

void BM_ReadLines(benchmark::State& state) {
    QelCurvedata c = Line(1.25);
    std::string doc = WriteCurves(c, int(state.range(0)));
    for (auto _ : state) {
        CurvesTop top;
        IntfXmlParseBuffer(doc.data(), doc.size(), &top, "bench");
        benchmark::DoNotOptimize(top.read);
    }
    state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
}
BENCHMARK(BM_ReadLines)->Arg(1000)->Arg(100000);

void BM_ReadSpline(benchmark::State& state) {
    QelCurvedata c = Spline(int(state.range(0)));
    std::string doc = WriteCurves(c, 1);
    for (auto _ : state) {
        CurvesTop top;
        IntfXmlParseBuffer(doc.data(), doc.size(), &top, "bench");
        benchmark::DoNotOptimize(top.read);
    }
    state.SetBytesProcessed(int64_t(doc.size()) * state.iterations());
    qel_curvedata_clear(&c);
}
BENCHMARK(BM_ReadSpline)->Arg(1000)->Arg(1000000);

} // namespace
