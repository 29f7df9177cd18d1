#include "vehicle/vehicles_dat.h"

#include <filesystem>
#include <system_error>

#include "net/field_reader.h"

namespace velmora::vehicle {
namespace {

// Fields 2..10 of a line: where each goes and its scale in the file.
struct NumberField {
  double TFormParam::*Member;
  double UnitsPerValue;
};

constexpr NumberField kNumberFields[] = {
    {&TFormParam::RestZ, 1000.0},     {&TFormParam::Wheelbase, 1000.0},
    {&TFormParam::EyeRight, 1000.0},  {&TFormParam::EyeUp, 1000.0},
    {&TFormParam::EyeForward, 1000.0}, {&TFormParam::Scale, 1000.0},
    {&TFormParam::Drag, 1000000.0},   {&TFormParam::Lift, 1000000.0},
    {&TFormParam::ZeroLiftAngle, 1000.0},
};

// Describes why the integer field number `index` could not be read.
std::string IntegerFieldProblem(const net::FieldReader& reader, int index) {
  const std::string_view rest = reader.Rest();
  const std::size_t semicolon = rest.find(';');
  if (semicolon == std::string_view::npos) {
    return "field " + std::to_string(index) + " is missing its ';'";
  }
  return "field " + std::to_string(index) + " is not an integer: '" +
         net::Excerpt(rest.substr(0, semicolon)) + "'";
}

// Why the renderer could not load a shape, with the files it reads.
std::string ShapeProblem(const std::string& stem, int32_t result) {
  const std::string fine = stem + ".x";
  const std::string rough = stem + "_rough.x";
  std::string why;
  std::error_code status;
  if (result == DX_ERROR_FORM_COUNT) {
    why = fine + " or " + rough + " holds a count larger than the file can hold";
  } else if (result == DX_ERROR_FORM_FILE && !std::filesystem::is_regular_file(fine, status)) {
    why = fine + " does not exist";
  } else if (result == DX_ERROR_FORM_FILE && !std::filesystem::is_regular_file(rough, status)) {
    why = rough + " does not exist";
  } else if (result == DX_ERROR_FORM_FILE) {
    why = fine + " or " + rough + " is not a mesh the renderer can read";
  } else {
    why = "the renderer refused it";
  }
  return "the renderer could not load shape '" + stem + "': " + why + " (result " +
         std::to_string(result) + "; the renderer's own reason is on standard error)";
}

}  // namespace

std::optional<TVehicleLine> ParseVehicleLine(std::string_view line, std::string* reason) {
  const auto fail = [reason](std::string why) -> std::optional<TVehicleLine> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  if (line.empty()) return fail("empty line: every line must describe a vehicle type");

  net::FieldReader reader(line);
  TVehicleLine parsed;
  const auto formNo = reader.ReadInteger();
  if (!formNo) return fail(IntegerFieldProblem(reader, 1));
  if (!TFormTable::InRange(*formNo)) {
    return fail("type number " + std::to_string(*formNo) + " is outside 1..100");
  }
  parsed.FormNo = *formNo;

  int index = 2;
  for (const NumberField& field : kNumberFields) {
    const auto value = reader.ReadInteger();
    if (!value) return fail(IntegerFieldProblem(reader, index));
    parsed.Param.*field.Member = *value / field.UnitsPerValue;
    ++index;
  }

  // Lift and side force are divided by the zero-lift angle for every kind.
  if (parsed.Param.ZeroLiftAngle == 0) {
    return fail("field 10 (zero-lift angle) is 0, but the lift law divides by it");
  }

  // The name runs to the first TAB and the shape stem is everything after it;
  // a line without a TAB is all name.
  const std::string_view rest = reader.Rest();
  const std::size_t tab = rest.find('\t');
  parsed.Param.Name = std::string(net::TrimControl(rest.substr(0, tab)));
  if (tab != std::string_view::npos) {
    parsed.ShapeStem = std::string(net::TrimControl(rest.substr(tab + 1)));
  }
  return parsed;
}

TVehicleLoadResult LoadVehicleTypes(const std::filesystem::path& file, TFormTable& table,
                                    vehicle::RendererApi& renderer) {
  net::DataFileLines lines = net::ReadDataFileLines(file);
  if (lines.Error) {
    TVehicleLoadResult result;
    result.Error = std::move(lines.Error);
    return result;
  }
  return LoadVehicleLines(lines.Lines, file.string(), table, renderer);
}

TVehicleLoadResult LoadVehicleLines(const std::vector<std::string>& lines,
                                    const std::string& fileName, TFormTable& table,
                                    vehicle::RendererApi& renderer) {
  TVehicleLoadResult result;
  const std::size_t count = net::CountUpToLastContent(lines);
  if (count == 0) result.Notices.push_back(fileName + " に乗物の種類がありません。");
  int lineNo = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& line = lines[i];
    ++lineNo;
    std::string reason;
    std::optional<TVehicleLine> parsed = ParseVehicleLine(line, &reason);
    if (!parsed) {
      result.Error = net::DataFileError{fileName, lineNo, std::move(reason)};
      return result;
    }
    TFormParam& entry = table[parsed->FormNo];
    entry = std::move(parsed->Param);
    const float switchDistance = static_cast<float>(entry.Scale * 10.0);
    result.RendererResult =
        renderer.DXLoadVehicleForm(parsed->ShapeStem.c_str(), parsed->FormNo, switchDistance);
    if (result.RendererResult != 0) {
      result.Error = net::DataFileError{fileName, lineNo,
                                        ShapeProblem(parsed->ShapeStem, result.RendererResult)};
      return result;
    }
  }
  return result;
}

}  // namespace velmora::vehicle
