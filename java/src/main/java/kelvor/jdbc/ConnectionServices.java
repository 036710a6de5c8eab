package kelvor.jdbc;

/**
 * What the object-type layer asks of the driver's connection. A Java driver implements it; the
 * native library calls it (on the calling thread) whenever a descriptor needs the server or
 * the connection's state.
 */
public interface ConnectionServices {
  /**
   * The type information of SCHEMA.TYPE, or null when the server knows no such type. With
   * {@code withFormat}, the caller has no format descriptor yet and wants the server's.
   */
  TypeInfo typeInfo(String schema, String type, boolean withFormat);

  /**
   * The attribute rows of SCHEMA.TYPE in position order, three strings per row: attribute
   * name, attribute type name, attribute type schema.
   */
  String[] attributeNames(String schema, String type);

  /** The descriptor cache: the cached descriptor of a type by SQL name, or null. */
  Object getDescriptor(String sqlName);

  void putDescriptor(String sqlName, Object descriptor);

  /** The platform format descriptor; null until the server has sent one. */
  byte[] getFormatDescriptor();

  void setFormatDescriptor(byte[] formatDescriptor);

  /** The type describer: the 64-bit property of a type. */
  long describeTypeProperty(String sqlName);

  /** The database character set id (an IANA MIBenum number, 106 for UTF-8). */
  int getDbCharsetId();
}
