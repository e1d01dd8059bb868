#!/bin/sh
# Checks that the library exports the session entry, the enumeration
# descriptors, and cast/getClassRtti of every interface and list class.
# Usage: check_exports.sh path/to/libzpi50.so
lib="$1"
if [ -z "$lib" ] || [ ! -f "$lib" ]; then
    echo "usage: $0 libzpi50.so" >&2
    exit 2
fi
symbols=$(nm -DC --defined-only "$lib" | sed 's/^[0-9a-fA-F]* [A-Za-z] //') || exit 2

missing=0
need() {
    if ! printf '%s\n' "$symbols" | grep -qxF "$1"; then
        echo "not exported: $1"
        missing=$((missing + 1))
    fi
}

# The session entry may not be built yet; when it is, it must be exported.
if printf '%s\n' "$symbols" | grep -q '^KGetPISession('; then
    need 'KGetPISession()'
else
    echo "note: KGetPISession not present, skipped"
fi

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

if [ "$missing" -ne 0 ]; then
    echo "$missing symbol(s) missing"
    exit 1
fi
echo "all expected symbols exported"
