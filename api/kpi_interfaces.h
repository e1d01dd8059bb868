// The interface classes of the object interface. They hold no data: every
// operation is pure and is answered by a hidden implementation object (or
// by its journal wrapper). The operations come from the tables of
// kpi_ops.h, in slot order.
#pragma once

#include "zpi50_export.h"

#include "kcommon.h"
#include "kpi_enums.h"
#include "kpi_ops.h"
#include "kvalues.h"
#include "xany.h"
#include "xstring.h"

// Forward declarations of every interface and list class.
#define ZPI_FORWARD_INTERFACE(Class, Parent) class Class;
#define ZPI_FORWARD_LIST(List, Element) class List;
ZPI_INTERFACES(ZPI_FORWARD_INTERFACE)
ZPI_LISTS(ZPI_FORWARD_LIST)
#undef ZPI_FORWARD_INTERFACE
#undef ZPI_FORWARD_LIST

#define ZPI_PURE_OPERATION(Class, Result, Name, Params, Args, Doc) virtual Result Name Params = 0;

// Body shared by every interface class: type queries, the pure operations
// and the constructors. The geometry interfaces are exported whole: their
// constructors and assignment are public (an object is still destroyed only
// through its handles). The others keep them for implementation and wrapper
// classes. Copying or assigning copies no data: an interface holds none.
#define ZPI_INTERFACE_BODY(Class, ShellAccess)                                 \
    XRTTI_DECLARE(Class)                                                       \
public:                                                                        \
    ZPI_OPS_##Class(ZPI_PURE_OPERATION)                                        \
                                                                               \
ShellAccess:                                                                   \
    Class() = default;                                                         \
    Class(const Class&) = default;                                             \
    Class& operator=(const Class&) = default;                                  \
                                                                               \
protected:                                                                     \
    ~Class() override = default;

#define ZPI_ROOT_INTERFACE_AS(Class, ShellAccess)                              \
    class ZPI_API Class : public virtual xobject, public virtual KCommon {     \
        ZPI_INTERFACE_BODY(Class, ShellAccess)                                 \
    };

#define ZPI_DERIVED_INTERFACE_AS(Class, Parent, ShellAccess)                   \
    class ZPI_API Class : public virtual xobject,                              \
                          public virtual KCommon,                              \
                          public virtual Parent {                              \
        ZPI_INTERFACE_BODY(Class, ShellAccess)                                 \
    };

#define ZPI_ROOT_INTERFACE(Class) ZPI_ROOT_INTERFACE_AS(Class, protected)
#define ZPI_DERIVED_INTERFACE(Class, Parent) ZPI_DERIVED_INTERFACE_AS(Class, Parent, protected)
#define ZPI_GEOMETRY_ROOT(Class) ZPI_ROOT_INTERFACE_AS(Class, public)
#define ZPI_GEOMETRY_INTERFACE(Class, Parent) ZPI_DERIVED_INTERFACE_AS(Class, Parent, public)

// Curves
ZPI_GEOMETRY_ROOT(KPICurve)
ZPI_GEOMETRY_INTERFACE(KPIPoint, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPILine, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPIArc, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPIEllipse, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPISpline, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPIBspline, KPICurve)
ZPI_GEOMETRY_INTERFACE(KPICompositeCurve, KPICurve)

// Surfaces
ZPI_GEOMETRY_ROOT(KPISurface)
ZPI_GEOMETRY_INTERFACE(KPIPlane, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPICylinder, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPICone, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPITorus, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPISrfRev, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPIRulSrf, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPITabCyl, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPIFilSrf, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPISplineSrf, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPIBsplsrf, KPISurface)
ZPI_GEOMETRY_INTERFACE(KPICylSplSrf, KPISurface)

// Topology
ZPI_ROOT_INTERFACE(KPIItem)
ZPI_DERIVED_INTERFACE(KPIFace, KPIItem)
ZPI_DERIVED_INTERFACE(KPIEdge, KPIItem)
ZPI_DERIVED_INTERFACE(KPIDatum, KPIItem)
ZPI_DERIVED_INTERFACE(KPIQuilt, KPIItem)
ZPI_ROOT_INTERFACE(KPILoop)

// Metadata
ZPI_ROOT_INTERFACE(KPIUnit)
ZPI_DERIVED_INTERFACE(KPILengthUnit, KPIUnit)
ZPI_DERIVED_INTERFACE(KPIMassUnit, KPIUnit)
ZPI_ROOT_INTERFACE(KPINameAttribute)
ZPI_ROOT_INTERFACE(KPIGeneralAttribute)
ZPI_ROOT_INTERFACE(KPIReferenceColor)
ZPI_ROOT_INTERFACE(KPIElementColor)
ZPI_ROOT_INTERFACE(KPILayer)

// Faceted representations
ZPI_ROOT_INTERFACE(KPIFacetVtx)
ZPI_ROOT_INTERFACE(KPIFacetVtxdata)
ZPI_ROOT_INTERFACE(KPIFacetdata)
ZPI_ROOT_INTERFACE(KPIFacetedRep)

// Model extension, model, session
ZPI_ROOT_INTERFACE(KWPIModelExt)
ZPI_ROOT_INTERFACE(KWPIModel)
ZPI_ROOT_INTERFACE(KWPISession)

#undef ZPI_ROOT_INTERFACE
#undef ZPI_DERIVED_INTERFACE
#undef ZPI_GEOMETRY_ROOT
#undef ZPI_GEOMETRY_INTERFACE
#undef ZPI_ROOT_INTERFACE_AS
#undef ZPI_DERIVED_INTERFACE_AS

// List classes: sequences of handles on one interface.
#define ZPI_DECLARE_LIST(List, Element)                                        \
    class ZPI_API List : public xhandlesequence<Element> {                     \
        XRTTI_DECLARE(List)                                                    \
    public:                                                                    \
        static List* create();                                                 \
    };
ZPI_LISTS(ZPI_DECLARE_LIST)
#undef ZPI_DECLARE_LIST
