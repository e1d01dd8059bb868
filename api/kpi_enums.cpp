// Descriptors of the public enumerations, and the host item-type mapping.
#include "kpi_enums.h"

#include <initializer_list>

namespace {
// An enumeration descriptor, made and registered once. The names are
// literals: the position of a name is the constant's value.
const xrttienum* makeEnum(const char* name, std::initializer_list<const char*> names) {
    auto* e = new xrttienum(name, static_cast<int>(names.size()), names.begin());
    cipRttiAddToMap(e);
    return e;
}
} // namespace

#define ZPI_ENUM_DESCRIPTOR(Enum, TypeName, ...)                               \
    const xrttienum* cipGetRtti_##Enum() {                                     \
        static const xrttienum* const e = makeEnum(TypeName, {__VA_ARGS__});   \
        return e;                                                              \
    }

ZPI_ENUM_DESCRIPTOR(KPICurveType, "KPIGeometry::PICurveType", "KPICURV_POINT", "KPICURV_LINE",
                    "KPICURV_ARC", "KPICURV_ELLIPSE", "KPICURV_SPLINE", "KPICURV_BSPLINE",
                    "KPICURV_COMP")

ZPI_ENUM_DESCRIPTOR(KPISurfType, "KPIGeometry::PISurfType", "KPISURF_PLANE", "KPISURF_CYL",
                    "KPISURF_CONE", "KPISURF_TORUS", "KPISURF_SRFREV", "KPISURF_RULSRF",
                    "KPISURF_TABCYL", "KPISURF_FILSRF", "KPISURF_SPLN", "KPISURF_BSPLN",
                    "KPISURF_CYLSPLN")

ZPI_ENUM_DESCRIPTOR(KPILoopTraversal, "KPIItem::PILoopTraversal", "KPI_LOOP_TRAV_NONE",
                    "KPI_LOOP_TRAV_INTERNAL", "KPI_LOOP_TRAV_EXTERNAL")

ZPI_ENUM_DESCRIPTOR(KPISurfOrient, "KPIItem::PISurfOrient", "KPISURFACE_ORIENT_NONE",
                    "KPISURFACE_ORIENT_POSITIVE", "KPISURFACE_ORIENT_NEGATIVE")

ZPI_ENUM_DESCRIPTOR(KPIItemType, "KPIItem::PIItemType", "KPI_EDGE", "KPI_FACE", "KPI_QUILT",
                    "KPI_DATUM_CURVE", "KPI_DATUM_CSYS", "KPI_DATUM_PLANE", "KPI_PART")

ZPI_ENUM_DESCRIPTOR(KPIUnitType, "KPIMetaData::PIUnitType", "KPI_LENGTH", "KPI_MASS")

ZPI_ENUM_DESCRIPTOR(KPILengthUnits, "KPIMetaData::PILengthUnits", "KPI_LENGTH_UNIT_MM",
                    "KPI_LENGTH_UNIT_CM", "KPI_LENGTH_UNIT_MIL", "KPI_LENGTH_UNIT_M",
                    "KPI_LENGTH_UNIT_IN", "KPI_LENGTH_UNIT_FT", "KPI_LENGTH_UNIT_MICROMETER")

ZPI_ENUM_DESCRIPTOR(KPIMassUnits, "KPIMetaData::PIMassUnits", "KPI_MASS_UNIT_MG",
                    "KPI_MASS_UNIT_G", "KPI_MASS_UNIT_KG", "KPI_MASS_UNIT_TONNE",
                    "KPI_MASS_UNIT_OUNCE", "KPI_MASS_UNIT_SLUG", "KPI_MASS_UNIT_TON")

ZPI_ENUM_DESCRIPTOR(KPILayerStatus, "KPIMetaData::PILayerStatus", "KPILAYER_STATUS_NORMAL",
                    "KPILAYER_STATUS_DISPLAY", "KPILAYER_STATUS_BLANKED")

#undef ZPI_ENUM_DESCRIPTOR

int KPIItemTypeFromQelType(int qelType) {
    switch (qelType) {
    case 6:
        return KPI_EDGE;
    case 5:
        return KPI_FACE;
    case 57:
        return KPI_QUILT;
    case 62:
        return KPI_DATUM_CURVE;
    case 25:
        return KPI_DATUM_CSYS;
    case 2:
        return KPI_PART;
    default:
        return 7; // no enumerator (KPI_DATUM_PLANE is never produced)
    }
}
