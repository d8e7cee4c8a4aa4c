#include "store/measurement/measurementschema.h"

namespace vkt::measurement {

namespace {

constexpr std::uint8_t kFloatDecimals = 9;

}  // namespace

dbf::FieldSpec field_spec(const MeasurementField& field) {
  dbf::FieldSpec spec;
  spec.name = std::string(field.name);
  spec.width = field.width;
  switch (field.kind) {
    case ValueKind::Float:
      spec.type = dbf::FieldType::Numeric;
      spec.decimals = kFloatDecimals;
      break;
    case ValueKind::Smallint:
    case ValueKind::Integer:
      spec.type = dbf::FieldType::Numeric;
      break;
    case ValueKind::Text:
      spec.type = dbf::FieldType::Character;
      break;
  }
  return spec;
}

std::vector<dbf::FieldSpec> measurement_field_specs() {
  std::vector<dbf::FieldSpec> specs;
  specs.reserve(kMeasurementFields.size());
  for (const MeasurementField& f : kMeasurementFields) {
    specs.push_back(field_spec(f));
  }
  return specs;
}

}  // namespace vkt::measurement
