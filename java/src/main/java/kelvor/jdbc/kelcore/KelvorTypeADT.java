package kelvor.jdbc.kelcore;

import kelvor.jdbc.Connection;

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
  public native byte[] toImage(Object value);

  /**
   * Reads the image at offset (pickled or linear, told by the byte found there) in the given
   * style: an ObjectValue (STYLE_SQL_VALUE) or an Object[] of Java objects
   * (STYLE_PLATFORM_OBJECT). A null object gives null.
   */
  public native Object fromImage(byte[] image, long offset, int style);

  static native NativePeer forName0(Connection connection, String sqlName);

  private native NativePeer getAttributeType0(int i);
}
