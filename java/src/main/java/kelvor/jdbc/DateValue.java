package kelvor.jdbc;

import java.time.LocalDateTime;

/** A DATE: seven bytes, century to second. */
public final class DateValue extends SqlValue {
  public DateValue(byte[] bytes) {
    super(bytes, DATE);
  }

  /** The date; nanoseconds are dropped (a DATE holds whole seconds). */
  public static DateValue of(LocalDateTime value) {
    return new DateValue(Conversions.dateFromLocalDateTime(value));
  }

  public LocalDateTime localDateTimeValue() {
    return Conversions.dateToLocalDateTime(bytes);
  }
}
