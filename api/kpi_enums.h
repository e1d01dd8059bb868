// The public enumerations of the object interface and their descriptors.
#pragma once

#include "zpi50_export.h"

#include "xrtti.h"

enum KPICurveType : int {
    KPICURV_POINT,
    KPICURV_LINE,
    KPICURV_ARC,
    KPICURV_ELLIPSE,
    KPICURV_SPLINE,
    KPICURV_BSPLINE,
    KPICURV_COMP,
};

enum KPISurfType : int {
    KPISURF_PLANE,
    KPISURF_CYL,
    KPISURF_CONE,
    KPISURF_TORUS,
    KPISURF_SRFREV,
    KPISURF_RULSRF,
    KPISURF_TABCYL,
    KPISURF_FILSRF,
    KPISURF_SPLN,
    KPISURF_BSPLN,
    KPISURF_CYLSPLN,
};

enum KPILoopTraversal : int {
    KPI_LOOP_TRAV_NONE,
    KPI_LOOP_TRAV_INTERNAL,
    KPI_LOOP_TRAV_EXTERNAL,
};

enum KPISurfOrient : int {
    KPISURFACE_ORIENT_NONE,
    KPISURFACE_ORIENT_POSITIVE,
    KPISURFACE_ORIENT_NEGATIVE,
};

enum KPIItemType : int {
    KPI_EDGE,
    KPI_FACE,
    KPI_QUILT,
    KPI_DATUM_CURVE,
    KPI_DATUM_CSYS,
    KPI_DATUM_PLANE,
    KPI_PART,
};

enum KPIUnitType : int {
    KPI_LENGTH,
    KPI_MASS,
};

enum KPILengthUnits : int {
    KPI_LENGTH_UNIT_MM,
    KPI_LENGTH_UNIT_CM,
    KPI_LENGTH_UNIT_MIL,
    KPI_LENGTH_UNIT_M,
    KPI_LENGTH_UNIT_IN,
    KPI_LENGTH_UNIT_FT,
    KPI_LENGTH_UNIT_MICROMETER,
};

enum KPIMassUnits : int {
    KPI_MASS_UNIT_MG,
    KPI_MASS_UNIT_G,
    KPI_MASS_UNIT_KG,
    KPI_MASS_UNIT_TONNE,
    KPI_MASS_UNIT_OUNCE,
    KPI_MASS_UNIT_SLUG,
    KPI_MASS_UNIT_TON,
};

enum KPILayerStatus : int {
    KPILAYER_STATUS_NORMAL,
    KPILAYER_STATUS_DISPLAY,
    KPILAYER_STATUS_BLANKED,
};

ZPI_API const xrttienum* cipGetRtti_KPICurveType();
ZPI_API const xrttienum* cipGetRtti_KPISurfType();
ZPI_API const xrttienum* cipGetRtti_KPILoopTraversal();
ZPI_API const xrttienum* cipGetRtti_KPISurfOrient();
ZPI_API const xrttienum* cipGetRtti_KPIItemType();
ZPI_API const xrttienum* cipGetRtti_KPIUnitType();
ZPI_API const xrttienum* cipGetRtti_KPILengthUnits();
ZPI_API const xrttienum* cipGetRtti_KPIMassUnits();
ZPI_API const xrttienum* cipGetRtti_KPILayerStatus();

// Host item type to KPIItemType (7 for a type with no enumerator).
ZPI_API int KPIItemTypeFromQelType(int qelType);
