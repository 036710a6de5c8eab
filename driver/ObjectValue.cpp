#include "driver/ObjectValue.h"

#include <optional>
#include <sstream>
#include <string>

#include "adt/KelvorTypeADT.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/TypeMap.h"
#include "driver/TypeName.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"

namespace kelvor::jdbc {

namespace {

std::optional<std::string> nameOf(const ObjectDescriptor& d) { return typeNameOf(*d.getKelvorType()); }

// One type: the same descriptor or tree, or two trees of the same name.
bool sameType(const ObjectDescriptor& a, const ObjectDescriptor& b) {
  return &a == &b || sameTypeName(*a.getKelvorType(), *b.getKelvorType());
}

}  // namespace

ObjectValue::ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection)
    : descriptor_(std::move(descriptor)), connection_(connection) {
  addClassBits(CLASS_BIT);
  if (!descriptor_) lang::throwNullPointer("object value without a descriptor");
}

ObjectValue::ObjectValue(lang::Ref<ObjectDescriptor> descriptor, Connection* connection,
                         lang::Ref<lang::ObjectArray> attributes)
    : ObjectValue(std::move(descriptor), connection) {
  const lang::Ref<kelcore::KelvorTypeADT>& type = descriptor_->getKelvorType();
  const int32_t n = type->getNumAttributes();
  if (!attributes || attributes->length() != n) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, attributes.get());
  }
  // A plain object type's list, published by getNumAttributes, is indexed without a counted
  // reference per attribute; a type that answers for another one (a user-defined primitive
  // type) answers by getAttributeType.
  const lang::ObjectArray* types = type->kind() == kelcore::TypeKind::PlainObject
                                       ? type->publishedAttributeTypes()
                                       : nullptr;
  attributes_ = lang::ObjectArray::makeOf<SqlValue>(n);
  for (int32_t i = 0; i < n; ++i) {
    lang::Ref<kelcore::KelvorType> held;
    kelcore::KelvorType* t = nullptr;
    if (types != nullptr) {
      t = static_cast<kelcore::KelvorType*>(types->at(i));
    } else {
      held = type->getAttributeType(i);
      t = held.get();
    }
    attributes_->set(i, t->toSqlValue(attributes->at(i), connection));
  }
}

void ObjectValue::setImage(lang::Ref<lang::ByteArray> image, int64_t offset) {
  std::lock_guard<lang::Monitor> hold(lock_);
  image_ = std::move(image);
  imageOffset_ = offset;
}

bool ObjectValue::isImageOnly() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  return image_ && !attributes_ && !platformAttributes_;
}

void ObjectValue::decodeImage() const {
  // The layout is told by the byte at the value's own offset.
  const lang::Ref<kelcore::KelvorTypeADT>& type = descriptor_->getKelvorType();
  lang::Ref<lang::ByteArray> image = image_;
  if (imageOffset_ < 0 || imageOffset_ >= image->length()) {
    lang::throwIndexOutOfBounds(imageOffset_, image->length());
  }
  const lang::BlockArena::Scope placeValues(  // the attributes share blocks
      imageLength_ > 0 ? imageLength_ : image->length() - imageOffset_, true);
  constexpr int32_t STYLE_SQL_VALUE = kelcore::KelvorTypeADT::STYLE_SQL_VALUE;
  constexpr int32_t DECODE = kelcore::KelvorTypeADT::MODE_DECODE;
  if (((*image)[static_cast<int32_t>(imageOffset_)] & 0x80) != 0) {
    kelcore::PickleContext ctx(image.get(), imageOffset_, kelcore::PickleContext::Borrowed{});
    type->unpickle(ctx, const_cast<ObjectValue*>(this), DECODE, STYLE_SQL_VALUE, nullptr);
  } else {
    kelcore::UnpickleContext ctx(image, static_cast<int32_t>(imageOffset_), nullptr, nullptr,
                                 static_cast<int8_t>(type->getFormatFlag() ? 1 : 0));
    type->unpickleLinear(ctx, const_cast<ObjectValue*>(this), DECODE, STYLE_SQL_VALUE, nullptr);
  }
}

lang::Ref<lang::ObjectArray> ObjectValue::getAttributes() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  if (!attributes_ && image_ && !platformAttributes_) decodeImage();
  return attributes_;
}

void ObjectValue::setAttributes(lang::Ref<lang::ObjectArray> sqlValues) {
  std::lock_guard<lang::Monitor> hold(lock_);
  attributes_ = std::move(sqlValues);
}

void ObjectValue::setPlatformAttributes(lang::Ref<lang::ObjectArray> objects) {
  std::lock_guard<lang::Monitor> hold(lock_);
  platformAttributes_ = std::move(objects);
}

namespace {

lang::Ref<lang::Object> platformFormOf(lang::Object* attribute, const TypeMap* typeMap) {
  if (attribute == nullptr) return nullptr;
  if (auto* object = dynamic_cast<ObjectValue*>(attribute)) return object->toJdbc(typeMap);
  if (auto* value = dynamic_cast<SqlValue*>(attribute)) return value->toJdbc();
  return lang::Ref<lang::Object>(attribute);
}

}  // namespace

lang::Ref<lang::ObjectArray> ObjectValue::getPlatformAttributes(const TypeMap* typeMap) const {
  std::lock_guard<lang::Monitor> hold(lock_);
  if (platformAttributes_) return platformAttributes_;
  lang::Ref<lang::ObjectArray> values = getAttributes();
  if (!values) return nullptr;
  auto objects = lang::ObjectArray::make(values->length());
  for (int32_t i = 0; i < values->length(); ++i) objects->set(i, platformFormOf(values->at(i), typeMap));
  return objects;
}

lang::Ref<lang::Object> ObjectValue::toJdbc(const TypeMap* typeMap) const {
  lang::Ref<lang::ObjectArray> objects = getPlatformAttributes(typeMap);
  if (typeMap != nullptr) {
    const auto name = nameOf(*descriptor_);
    if (const TypeMap::Factory* factory = name ? typeMap->find(*name) : nullptr) {
      return (*factory)(objects);
    }
  }
  return objects;
}

lang::Ref<lang::Object> ObjectValue::toJdbc() const { return toJdbc(nullptr); }


bool ObjectValue::equals(const lang::Object* other) const {
  if (other == this) return true;
  const auto* o = dynamic_cast<const ObjectValue*>(other);
  if (o == nullptr) return false;
  if (!sameType(*descriptor_, *o->descriptor_)) return false;
  lang::Ref<lang::ObjectArray> mine = getAttributes();
  lang::Ref<lang::ObjectArray> theirs = o->getAttributes();
  if (!mine || !theirs) return !mine && !theirs;
  return mine->sameElements(*theirs);
}

std::string ObjectValue::toString() const {
  std::ostringstream text;
  text << nameOf(*descriptor_).value_or("(unnamed)") << '(';
  lang::Ref<lang::ObjectArray> values = getAttributes();
  for (int32_t i = 0; values && i < values->length(); ++i) {
    if (i > 0) text << ", ";
    const lang::Object* v = values->at(i);
    text << (v == nullptr ? std::string("null") : v->toString());
  }
  text << ')';
  return text.str();
}

}  // namespace kelvor::jdbc
