#!/bin/sh
# Checks that the library exports the session entry, the enumeration
# descriptors, cast/getClassRtti of every interface and list class, and the
# whole type-query set of the geometry interfaces.
# Usage: check_exports.sh path/to/libzpi50.so
lib="$1"
if [ -z "$lib" ] || [ ! -f "$lib" ]; then
    echo "usage: $0 libzpi50.so" >&2
    exit 2
fi
# (The names read under LC_ALL=C: under tr_TR.UTF-8 "[A-Za-z]" misses the
# type "i".)
symbols=$(nm -DC --defined-only "$lib" | LC_ALL=C sed 's/^[0-9a-fA-F]* [A-Za-z] //') || exit 2

missing=0
need() {
    if ! printf '%s\n' "$symbols" | grep -qxF "$1"; then
        echo "not exported: $1"
        missing=$((missing + 1))
    fi
}

need 'KGetPISession()'

for e in KPICurveType KPISurfType KPILoopTraversal KPISurfOrient KPIItemType \
         KPIUnitType KPILengthUnits KPIMassUnits KPILayerStatus; do
    need "cipGetRtti_$e()"
done

for c in KPICurve KPIPoint KPILine KPIArc KPIEllipse KPISpline KPIBspline KPICompositeCurve \
         KPISurface KPIPlane KPICylinder KPICone KPITorus KPISrfRev KPIRulSrf KPITabCyl \
         KPIFilSrf KPISplineSrf KPIBsplsrf KPICylSplSrf \
         KPIItem KPIFace KPIEdge KPIDatum KPIQuilt KPILoop \
         KPIUnit KPILengthUnit KPIMassUnit KPINameAttribute KPIGeneralAttribute \
         KPIReferenceColor KPIElementColor KPILayer \
         KPIFacetVtx KPIFacetVtxdata KPIFacetdata KPIFacetedRep \
         KWPIModelExt KWPIModel KWPISession \
         KPICurveList KPILoopList KPIEdgeList KPIFaceList KPIDatumList KPIQuiltList \
         KPIGeneralAttributeList KPINameAttributeList KPIUnitList KPILayerList \
         KPIReferenceColorList KPIElementColorList \
         KPIFacetVtxList KPIFacetVtxdataList KPIFacetdataList KPIFacetedRepList; do
    need "$c::cast(xobject*)"
    need "$c::getClassRtti()"
    case "$c" in
        *List) need "$c::create()" ;;
    esac
done

# The geometry interfaces are exported whole: every type query and the
# class-shell type tests.
for c in KPICurve KPIPoint KPILine KPIArc KPIEllipse KPISpline KPIBspline KPICompositeCurve \
         KPISurface KPIPlane KPICylinder KPICone KPITorus KPISrfRev KPIRulSrf KPITabCyl \
         KPIFilSrf KPISplineSrf KPIBsplsrf KPICylSplSrf; do
    need "$c::softcast(xobject*)"
    need "$c::giveRtti() const"
    need "$c::dyndowncast(xrttiobject const*)"
    need "$c::isObjSameAs(xobject*)"
    need "$c::isObjKindOf(xobject*)"
done

if [ "$missing" -ne 0 ]; then
    echo "$missing symbol(s) missing"
    exit 1
fi
echo "all expected symbols exported"
