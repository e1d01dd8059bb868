// Type descriptors and type queries of the curve and surface interfaces.
#include "kpi_rtti_support.h"

using zpi_rtti::kMayBeAbsent;
using zpi_rtti::property;

// ---- curves ------------------------------------------------------------
ZPI_INTERFACE_RTTI(KPICurve, KCommon, "KPIGeometry::PICurve")

ZPI_INTERFACE_RTTI(KPIPoint, KPICurve, "KPIGeometry::PIPoint",
                   property<&KPIPoint::GetPoint3D>("Point3D"))

ZPI_INTERFACE_RTTI(KPILine, KPICurve, "KPIGeometry::PILine",
                   property<&KPILine::GetEnd0>("End0"),
                   property<&KPILine::GetEnd1>("End1"))

ZPI_INTERFACE_RTTI(KPIArc, KPICurve, "KPIGeometry::PIArc",
                   property<&KPIArc::GetEnd0>("End0"),
                   property<&KPIArc::GetEnd1>("End1"),
                   property<&KPIArc::GetRadius>("Radius"))

ZPI_INTERFACE_RTTI(KPIEllipse, KPICurve, "KPIGeometry::PIEllipse",
                   property<&KPIEllipse::GetC0>("C0"),
                   property<&KPIEllipse::GetC1>("C1"),
                   property<&KPIEllipse::GetEnd0>("End0"),
                   property<&KPIEllipse::GetEnd1>("End1"))

ZPI_INTERFACE_RTTI(KPISpline, KPICurve, "KPIGeometry::PISpline",
                   property<&KPISpline::GetPoints>("Points"),
                   property<&KPISpline::GetTangents>("Tangents"),
                   property<&KPISpline::GetParameters>("Parameters"))

ZPI_INTERFACE_RTTI(KPIBspline, KPICurve, "KPIGeometry::PIBspline",
                   property<&KPIBspline::GetDegree>("Degree"),
                   property<&KPIBspline::GetParameters>("Parameters"),
                   property<&KPIBspline::GetWeights>("Weights", kMayBeAbsent),
                   property<&KPIBspline::GetPoints>("Points"))

ZPI_INTERFACE_RTTI(KPICompositeCurve, KPICurve, "KPIGeometry::PICompositeCurve")

// ---- surfaces ----------------------------------------------------------
ZPI_INTERFACE_RTTI(KPISurface, KCommon, "KPIGeometry::PISurface")

ZPI_INTERFACE_RTTI(KPIPlane, KPISurface, "KPIGeometry::PIPlane")

ZPI_INTERFACE_RTTI(KPICylinder, KPISurface, "KPIGeometry::PICylinder",
                   property<&KPICylinder::GetRadius>("Radius"))

ZPI_INTERFACE_RTTI(KPICone, KPISurface, "KPIGeometry::PICone",
                   property<&KPICone::GetHalfAngle>("HalfAngle"))

ZPI_INTERFACE_RTTI(KPITorus, KPISurface, "KPIGeometry::PITorus",
                   property<&KPITorus::GetR0>("R0"),
                   property<&KPITorus::GetR1>("R1"))

ZPI_INTERFACE_RTTI(KPISrfRev, KPISurface, "KPIGeometry::PISrfRev",
                   property<&KPISrfRev::GetCurve>("Curve"))

ZPI_INTERFACE_RTTI(KPIRulSrf, KPISurface, "KPIGeometry::PIRulSrf",
                   property<&KPIRulSrf::GetCsys>("Csys"),
                   property<&KPIRulSrf::GetCurve1>("Curve1"),
                   property<&KPIRulSrf::GetCurve2>("Curve2"))

ZPI_INTERFACE_RTTI(KPITabCyl, KPISurface, "KPIGeometry::PITabCyl",
                   property<&KPITabCyl::GetCsys>("Csys"),
                   property<&KPITabCyl::GetCurve>("Curve"))

ZPI_INTERFACE_RTTI(KPIFilSrf, KPISurface, "KPIGeometry::PIFilSrf",
                   property<&KPIFilSrf::GetPointSpline>("PointSpline"),
                   property<&KPIFilSrf::GetCenterSpline>("CenterSpline"),
                   property<&KPIFilSrf::GetTangentSpline>("TangentSpline"))

ZPI_INTERFACE_RTTI(KPISplineSrf, KPISurface, "KPIGeometry::PISplineSrf",
                   property<&KPISplineSrf::GetUParameters>("UParameters"),
                   property<&KPISplineSrf::GetVParameters>("VParameters"),
                   property<&KPISplineSrf::GetPoints>("Points"),
                   property<&KPISplineSrf::GetUTangents>("UTangents"),
                   property<&KPISplineSrf::GetVTangents>("VTangents"),
                   property<&KPISplineSrf::GetMixedDerivatives>("MixedDerivatives"))

ZPI_INTERFACE_RTTI(KPIBsplsrf, KPISurface, "KPIGeometry::PIBsplsrf",
                   property<&KPIBsplsrf::GetUDegree>("UDegree"),
                   property<&KPIBsplsrf::GetVDegree>("VDegree"),
                   property<&KPIBsplsrf::GetUParameters>("UParameters"),
                   property<&KPIBsplsrf::GetVParameters>("VParameters"),
                   property<&KPIBsplsrf::GetPoints>("Points"),
                   property<&KPIBsplsrf::GetWeights>("Weights", kMayBeAbsent))

ZPI_INTERFACE_RTTI(KPICylSplSrf, KPISurface, "KPIGeometry::PICylSplSrf",
                   property<&KPICylSplSrf::GetCsys>("Csys"),
                   property<&KPICylSplSrf::GetSplsrf>("Splsrf"))
