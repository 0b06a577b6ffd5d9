#include "tabledb/table.h"

#include <cctype>

#include "tabledb/session.h"
#include "tabledb/table_backend.h"
#include "tabledb/value_convert.h"

namespace pq::tabledb {

// ---- Field ----

Value Field::ReadValue() const {
    return table_.CurrentValue(index_);
}

bool Field::IsNull() const {
    return ReadValue().IsNull();
}

std::string Field::ReadText() const {
    return ValueAsText(ReadValue());
}

int32_t Field::ReadInteger() const {
    return ValueAsInteger(ReadValue(), def_.name);
}

void Field::WriteInteger(int32_t v) {
    WriteValue(Value::Integer(v));
}

void Field::WriteValue(Value v) {
    if (table_.state_ != Table::State::kEdit && table_.state_ != Table::State::kInsert)
        throw EDatabaseError(table_.name_ + ": Dataset not in edit or insert mode");
    table_.SetBufferValue(index_, ConvertForField(def_, std::move(v), table_.backend_->CodePage()));
}

// ---- Table ----

Table::Table(Session& session, std::string componentName)
    : session_(session), name_(std::move(componentName)) {}

Table::~Table() = default;

void Table::RequireClosed() const {
    if (state_ != State::kInactive)
        throw EDatabaseError(name_ + ": Cannot perform this operation on an open dataset");
}

void Table::RequireActive() const {
    if (state_ == State::kInactive)
        throw EDatabaseError(name_ + ": Cannot perform this operation on a closed dataset");
}

void Table::RequireCurrent() const {
    RequireActive();
    if (backend_->AtEnd())
        throw EDatabaseError(name_ + ": Cannot perform this operation on an empty dataset");
}

void Table::SetDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    RequireClosed();
    databaseName_ = name;
}

void Table::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    RequireClosed();
    readOnly_ = readOnly;
}

void Table::SetTableName(const std::string& name) {
    if (name == tableName_) return;
    RequireClosed();
    tableName_ = name;
}

std::string Table::FilePath() const {
    // A database name is an alias, or else a folder given directly.
    std::string folder =
        session_.HasAlias(databaseName_) ? session_.AliasPath(databaseName_) : databaseName_;
    std::string file = tableName_;
    if (file.find('.') == std::string::npos) file += ".db";
    if (folder.empty()) return file;
    const char last = folder.back();
    if (last == '\\' || last == '/' || last == ':') return folder + file;
    const bool windowsStyle =
        folder.find('\\') != std::string::npos || (folder.size() >= 2 && folder[1] == ':');
    return folder + (windowsStyle ? "\\" : "/") + file;
}

void Table::SetActive(bool active) {
    if (active == Active()) return;
    if (!active) {
        fields_.clear();
        backend_.reset();
        buffer_.clear();
        written_.clear();
        state_ = State::kInactive;
        return;
    }
    if (tableName_.empty()) throw EDatabaseError(name_ + ": Missing TableName property");
    session_.SetActive(true);
    if (!databaseName_.empty() && !session_.HasAlias(databaseName_) &&
        databaseName_.find_first_of("\\/:") == std::string::npos)
        session_.AliasPath(databaseName_);  // raises the unknown-alias error
    auto backend = OpenParadoxTable(session_.Files(), FilePath(), session_.Passwords(), readOnly_);
    std::vector<std::unique_ptr<Field>> fields;
    size_t i = 0;
    for (const auto& def : backend->Fields())
        fields.push_back(std::unique_ptr<Field>(new Field(*this, i++, def)));
    backend->First();
    backend_ = std::move(backend);
    fields_ = std::move(fields);
    state_ = State::kBrowse;
}

uint64_t Table::RecordTotal() const {
    RequireActive();
    return backend_->RecordCount();
}

bool Table::AtEnd() const {
    RequireActive();
    return backend_->AtEnd();
}

void Table::Advance() {
    RequireActive();
    if (state_ != State::kBrowse) Cancel();
    if (!backend_->AtEnd()) backend_->Next();
}

size_t Table::FieldTotal() const {
    return fields_.size();
}

Field& Table::FieldAt(size_t index) {
    if (index >= fields_.size())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return *fields_[index];
}

Field* Table::FindField(const std::string& name) {
    for (auto& f : fields_) {
        if (f->Name().size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k) {
            auto a = static_cast<unsigned char>(f->Name()[k]);
            auto b = static_cast<unsigned char>(name[k]);
            same = (a < 0x80 ? std::tolower(a) : a) == (b < 0x80 ? std::tolower(b) : b);
        }
        if (same) return f.get();
    }
    return nullptr;
}

Field& Table::FieldNamed(const std::string& name) {
    Field* f = FindField(name);
    if (!f) throw EDatabaseError(name_ + ": Field '" + name + "' not found");
    return *f;
}

bool Table::SeekPrimaryKey(const std::string& text) {
    RequireActive();
    if (state_ != State::kBrowse) Cancel();
    if (backend_->KeyFieldCount() == 0) throw EDatabaseError("No index currently active");
    const FieldDefinition& key = backend_->Fields()[0];
    Value v;
    try {
        v = ConvertForField(key, Value::Text(text), backend_->CodePage());
    } catch (const EDatabaseError&) {
        return false;  // a text the key field cannot hold matches no record
    }
    return backend_->SeekKey(v);
}

bool Table::SeekFieldValue(const std::string& fieldName, const Value& value) {
    RequireActive();
    if (state_ != State::kBrowse) Cancel();
    Field& f = FieldNamed(fieldName);
    Value v;
    try {
        v = ConvertForField(backend_->Fields()[f.index_], value, backend_->CodePage());
    } catch (const EDatabaseError&) {
        return false;
    }
    return backend_->SeekFirstEqual(f.index_, v);
}

void Table::UnderErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& op) {
    for (;;) {
        try {
            op();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = actFail;
            if (event) event(*this, e, action);
            if (action == actFail) throw;
            if (action == actAbort) throw EAbort();
            // Any other answer retries.
        }
    }
}

void Table::BeginEdit() {
    RequireActive();
    if (state_ == State::kEdit) return;
    if (state_ == State::kInsert) Cancel();
    UnderErrorEvent(OnEditError, [this] {
        RequireCurrent();
        backend_->CheckWritable();
    });
    buffer_.assign(fields_.size(), Value());
    written_.assign(fields_.size(), false);
    state_ = State::kEdit;
}

void Table::BeginAppend() {
    RequireActive();
    if (state_ != State::kBrowse) Cancel();
    backend_->CheckWritable();
    buffer_ = backend_->NewRecordValues();
    written_.assign(fields_.size(), false);
    state_ = State::kInsert;
}

void Table::SaveRecord() {
    RequireActive();
    if (state_ != State::kEdit && state_ != State::kInsert)
        throw EDatabaseError(name_ + ": Dataset not in edit or insert mode");
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i]->Required() && CurrentValue(i).IsNull())
            throw EDatabaseError("Field '" + fields_[i]->Name() + "' must have a value");
    }
    UnderErrorEvent(OnPostError, [this] {
        if (state_ == State::kEdit)
            backend_->Update(buffer_, written_);
        else
            backend_->Insert(buffer_);
    });
    buffer_.clear();
    written_.clear();
    state_ = State::kBrowse;
}

void Table::Cancel() {
    if (state_ == State::kEdit || state_ == State::kInsert) state_ = State::kBrowse;
    buffer_.clear();
    written_.clear();
}

Value Table::CurrentValue(size_t index) const {
    RequireActive();
    if (state_ == State::kInsert || (state_ == State::kEdit && written_[index]))
        return buffer_[index];
    if (state_ == State::kInsert) return Value();
    if (backend_->AtEnd()) return Value();
    return backend_->Read(index);
}

void Table::SetBufferValue(size_t index, Value v) {
    buffer_[index] = std::move(v);
    written_[index] = true;
}

}  // namespace pq::tabledb
