// Journal wrappers of the curves and surfaces. Every geometry operation
// takes no argument. GetPICurveType and GetPISurfaceType live only in
// KPICurve_j and KPISurface_j: every curve and surface wrapper inherits
// them, so they are always journaled against the base interface.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KPICurve, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIPoint, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPILine, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPIArc, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPIEllipse, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPISpline, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPIBspline, KPICurve_j)
ZPI_JOURNAL_WRAPPER(KPICompositeCurve, KPICurve_j)

ZPI_JOURNAL_WRAPPER(KPISurface, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIPlane, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPICylinder, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPICone, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPITorus, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPISrfRev, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPIRulSrf, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPITabCyl, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPIFilSrf, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPISplineSrf, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPIBsplsrf, KPISurface_j)
ZPI_JOURNAL_WRAPPER(KPICylSplSrf, KPISurface_j)
