package kelvor.jdbc;

/** A character value: its bytes in the character set it was read or written in. */
public final class CharValue extends SqlValue {
  /** The IANA MIBenum number of the bytes' character set (106: UTF-8). */
  final int charsetId;

  public CharValue(byte[] bytes, int charsetId) {
    super(bytes, CHAR);
    this.charsetId = charsetId;
  }

  /** The text in the database character set given. */
  public static CharValue of(String text, int charsetId) {
    return new CharValue(Conversions.charFromString(text, charsetId), charsetId);
  }

  public int getCharsetId() {
    return charsetId;
  }

  public String stringValue() {
    return Conversions.charToString(bytes, charsetId);
  }

  @Override
  public boolean equals(Object o) {
    return super.equals(o) && ((CharValue) o).charsetId == charsetId;
  }

  @Override
  public int hashCode() {
    return 31 * super.hashCode() + charsetId;
  }
}
