// Form definitions: the text that describes a window, its controls and components, their
// properties and the names of the handlers bound to their events. ParseFormDefinition turns the
// text into a tree; ui/form_loader.h turns the tree into objects.
//
//   object FPrincipal: TFPrincipal          (name: kind)
//     BorderStyle = bsNone                  identifier
//     ClientWidth = 457                     integer (also -15 and $1F)
//     Caption = 'Pacote de Quest' + 'ões'   string: UTF-8 between single quotes, '' is a quote,
//                                           + joins pieces (also across lines)
//     KeyPreview = True                     boolean (True/False, any case)
//     Font.Style = [fsBold]                 set of identifiers
//     Lines = (                             string list, one string a line
//       'first line'
//       ''
//     )
//     OnCreate = FormCreate                 handler name (an identifier)
//     object Image1: TImage                 nested object
//       Picture = 'principal.bmp'
//     end
//   end
//
// Comments run from // to the end of the line. Keywords (object, end, True, False) take any case.
// Every error is a FormDefinitionError naming the definition, line and column (from 1).
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"

namespace ui {

// A form definition that cannot be read or loaded. The message reads
// "<source>, line <L>, column <C>: <what>".
class FormDefinitionError : public pq::EFormError {
  public:
    FormDefinitionError(std::string source, int line, int column, std::string what);
    const char* ClassName() const noexcept override { return "EFormError"; }
    const std::string& Source() const { return source_; }
    int Line() const { return line_; }
    int Column() const { return column_; }
    const std::string& What() const { return what_; }

  private:
    std::string source_;
    int line_;
    int column_;
    std::string what_;
};

struct PropertyValue {
    enum class Type { Integer, String, Boolean, Identifier, StringList, Set };
    Type type = Type::Integer;
    int64_t integer = 0;             // Integer
    bool boolean = false;            // Boolean
    std::string text;                // String (UTF-8), Identifier
    std::vector<std::string> items;  // StringList (strings), Set (identifiers)
    int line = 0;
    int column = 0;
};

// "an integer", "a string", ... for messages.
const char* TypeDescription(PropertyValue::Type type);

struct PropertyNode {
    std::string name;  // may be dotted: "Font.Name"
    PropertyValue value;
    int line = 0;
    int column = 0;
};

struct FormNode {
    std::string name;
    std::string kind;
    int line = 0;  // of the word "object"
    int column = 0;
    int kindLine = 0;  // of the kind name
    int kindColumn = 0;
    std::vector<PropertyNode> properties;
    std::vector<FormNode> children;

    // The property of that name, or null.
    const PropertyNode* Find(std::string_view propertyName) const;
};

// Parses a whole definition: exactly one top-level object. `source` names the definition in
// error messages (for instance "FPrincipal.form").
FormNode ParseFormDefinition(std::string_view text, std::string_view source);

}  // namespace ui
