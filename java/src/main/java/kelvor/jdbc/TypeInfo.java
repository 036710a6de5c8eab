package kelvor.jdbc;

/** What the server returns for one type: identifier, version, TDS, layout, format. */
public final class TypeInfo {
  final byte[] typeId;
  final int version;
  final byte[] tds;
  final byte[] layout;
  final byte[] formatDescriptor;

  /**
   * @param layout the linear layout description, or null
   * @param formatDescriptor the server's format descriptor, or null when it sends none
   */
  public TypeInfo(byte[] typeId, int version, byte[] tds, byte[] layout, byte[] formatDescriptor) {
    this.typeId = typeId;
    this.version = version;
    this.tds = tds;
    this.layout = layout;
    this.formatDescriptor = formatDescriptor;
  }
}
