package kelvor.jdbc.kelcore;

import kelvor.jdbc.Connection;
import kelvor.jdbc.ObjectValue;
import kelvor.jdbc.AttributeWire;

/**
 * The descriptor of an object type: its attributes' descriptors and names, and the writer and
 * reader of its images (pickled and linear).
 */
public class KelvorTypeADT extends KelvorType {
  KelvorTypeADT(long peer) {
    super(peer);
  }

  /**
   * The descriptor of the named object type ("SCHEMA.TYPE"), served once per connection from
   * the connection's descriptor cache; fetched and parsed through the connection on first use.
   */
  public static KelvorTypeADT forName(String sqlName, Connection connection) {
    KelvorTypeADT type = (KelvorTypeADT) forName0(connection, sqlName);
    type.connection = connection;
    return type;
  }

  public native int getNumAttributes();

  /** The name of attribute i, 1-based. */
  public native String getAttributeName(int i);

  /** "SCHEMA.TYPE" of attribute i, 1-based. */
  public native String getAttributeTypeName(int i);

  /** The descriptor of attribute i, 0-based. */
  public KelvorType getAttributeType(int i) {
    return adopt((KelvorType) getAttributeType0(i));
  }

  /** The complete pickled image of an object value. */
  public byte[] toImage(Object value) {
    // An object value of scalars, objects and collections crosses as one array instead of one
    // JNI call or more per attribute.
    if (value instanceof ObjectValue) {
      ObjectValue object = (ObjectValue) value;
      AttributeWire attributes = AttributeWire.of(object);
      if (attributes != null) {
        KelvorTypeADT type = object.getType();
        return toImagePacked0(type == this ? null : type, attributes.bytes(), attributes.types());
      }
    }
    return toImage0(value);
  }

  /**
   * Reads the image at offset (pickled or linear, told by the byte found there) in the given
   * style: an ObjectValue (STYLE_SQL_VALUE) or an Object[] of Java objects
   * (STYLE_PLATFORM_OBJECT). A null object gives null.
   */
  public Object fromImage(byte[] image, long offset, int style) {
    if (style == STYLE_SQL_VALUE || style == STYLE_PLATFORM_OBJECT) {
      return ownValue(fromImagePacked0(image, offset, style));
    }
    return fromImage0(image, offset, style);
  }

  /**
   * Converts an application value into an ObjectValue of this type: an ObjectValue, or an
   * Object[] of its attributes (value classes or Java objects this type's attributes accept).
   */
  @Override
  public Object toSqlValue(Object value) {
    // The attributes cross as one array, and so does the value made of them.
    if (value instanceof Object[]) {
      AttributeWire attributes = AttributeWire.of((Object[]) value);
      if (attributes != null) {
        return ownValue(toSqlValuePacked0(attributes.bytes(), attributes.types()));
      }
    }
    return super.toSqlValue(value);
  }

  // What a native call gave for an object value of this type: the value itself, or its
  // attributes as one array (byte[]), or that array and the descriptors of the objects and
  // collections in it ({byte[], Object[]}). A read or a conversion in these styles gives an
  // ObjectValue or null, never an array.
  private Object ownValue(Object made) {
    if (made instanceof byte[]) {
      return new ObjectValue(this, AttributeWire.items((byte[]) made, null));
    }
    if (made instanceof Object[]) {
      Object[] parts = (Object[]) made;
      return new ObjectValue(this, AttributeWire.items((byte[]) parts[0], (Object[]) parts[1]));
    }
    return made;
  }

  private native Object toSqlValuePacked0(byte[] attributes, Object[] types);

  private native byte[] toImage0(Object value);

  /** type: the value's own descriptor when it is not this one. */
  native byte[] toImagePacked0(KelvorTypeADT type, byte[] attributes, Object[] types);

  private native Object fromImage0(byte[] image, long offset, int style);

  private native Object fromImagePacked0(byte[] image, long offset, int style);

  static native NativePeer forName0(Connection connection, String sqlName);

  private native NativePeer getAttributeType0(int i);
}
