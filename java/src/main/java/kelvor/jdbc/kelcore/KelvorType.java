package kelvor.jdbc.kelcore;

import kelvor.jdbc.Connection;

/**
 * The descriptor of one attribute or element type, or of a named type: the Java face of the
 * library's descriptor tree. Descriptors are shared: one descriptor serves any number of
 * threads at once.
 */
public class KelvorType extends NativePeer {
  /** Read styles: the driver's value classes, or Java's own objects. */
  public static final int STYLE_SQL_VALUE = 1;

  public static final int STYLE_PLATFORM_OBJECT = 2;
  /** The byte form itself (scalars). */
  public static final int STYLE_BYTES = 3;

  /** The connection the tree came from: kept reachable while any of its descriptors is. */
  volatile Connection connection;

  KelvorType(long peer) {
    super(peer);
  }

  /** The platform type code (NUMERIC, VARCHAR, STRUCT, ARRAY, ...). */
  public native int getTypeCode();

  /** The SQL name of a named type ("SCHEMA.TYPE"), or null. */
  public native String getSqlName();

  /**
   * Converts an application value (a value class, or a Java object this type accepts) into
   * this type's value class.
   */
  public Object toSqlValue(Object value) {
    return toSqlValue0(value);
  }

  /** A scalar's value from its byte form, in the given style. */
  public native Object toObject(byte[] bytes, int style);

  private native Object toSqlValue0(Object value);

  /** Gives a descriptor reached from this one the same connection. */
  <T extends KelvorType> T adopt(T child) {
    if (child != null && child.connection == null) {
      child.connection = connection;
    }
    return child;
  }
}
