package kelvor.jdbc;

import java.sql.SQLException;

/**
 * A failure the driver reports: its numeric code (47 a malformed TDS, 59 a conversion, 62
 * nesting too deep, 71 too many elements, 72 a value too long, ...) and the offending value
 * where there is one. Unchecked, so that descriptor calls need no throws clause; {@link
 * #toSQLException} gives the JDBC form.
 */
public final class DriverException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  private final int code;
  private final transient Object offendingValue;

  public DriverException(String message, int code, Object offendingValue) {
    super(message);
    this.code = code;
    this.offendingValue = offendingValue;
  }

  public int getErrorCode() {
    return code;
  }

  /** The value the driver refused, or null. */
  public Object getOffendingValue() {
    return offendingValue;
  }

  public SQLException toSQLException() {
    return new SQLException(getMessage(), null, code, this);
  }
}
