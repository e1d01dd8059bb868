// Type descriptors and type queries of the metadata interfaces (units,
// attributes, colours, layers). No property here may be absent.
#include "kpi_rtti_support.h"

using zpi_rtti::property;

ZPI_INTERFACE_RTTI(KPIUnit, KCommon, "KPIMetaData::PIUnit",
                   property<&KPIUnit::GetName>("Name"),
                   property<&KPIUnit::GetFactor>("Factor"),
                   property<&KPIUnit::GetType>("Type"))

ZPI_INTERFACE_RTTI(KPILengthUnit, KPIUnit, "KPIMetaData::PILengthUnit")

ZPI_INTERFACE_RTTI(KPIMassUnit, KPIUnit, "KPIMetaData::PIMassUnit")

ZPI_INTERFACE_RTTI(KPINameAttribute, KCommon, "KPIMetaData::PINameAttribute",
                   property<&KPINameAttribute::GetName>("Name"),
                   property<&KPINameAttribute::GetItemId>("ItemId"))

ZPI_INTERFACE_RTTI(KPIGeneralAttribute, KCommon, "KPIMetaData::PIGeneralAttribute",
                   property<&KPIGeneralAttribute::GetName>("Name"),
                   property<&KPIGeneralAttribute::GetValue>("Value"),
                   property<&KPIGeneralAttribute::GetItemId>("ItemId"))

ZPI_INTERFACE_RTTI(KPIReferenceColor, KCommon, "KPIMetaData::PIReferenceColor",
                   property<&KPIReferenceColor::GetColor>("Color"),
                   property<&KPIReferenceColor::GetAmbient>("Ambient"),
                   property<&KPIReferenceColor::GetDiffuse>("Diffuse"),
                   property<&KPIReferenceColor::GetSpecular>("Specular"),
                   property<&KPIReferenceColor::GetSpecularCoefficient>("SpecularCoefficient"),
                   property<&KPIReferenceColor::GetTransmission>("Transmission"),
                   property<&KPIReferenceColor::GetHighlight>("Highlight"),
                   property<&KPIReferenceColor::GetReflection>("Reflection"))

ZPI_INTERFACE_RTTI(KPIElementColor, KCommon, "KPIMetaData::PIElementColor",
                   property<&KPIElementColor::GetItemId>("ItemId"))

ZPI_INTERFACE_RTTI(KPILayer, KCommon, "KPIMetaData::PILayer",
                   property<&KPILayer::GetName>("Name"),
                   property<&KPILayer::GetStatus>("Status"),
                   property<&KPILayer::GetPIItemList>("PIItemList"),
                   property<&KPILayer::GetLayerId>("LayerId"))
